// What the user asks of the app through AppState with recording fakes: the
// tray menu and icon, the dictionary actions, and the check for a newer
// version against a feed served on the loopback address.
#include "BuildSettings.h"
#include "Fakes.h"
#include "FileServer.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "support/MainThread.h"
#include "ui/AddWordDialog.h"
#include "ui/CsvImportConfirmDialog.h"
#include "ui/DictionaryRules.h"
#include "ui/TrayIcon.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QtTest>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QString applying = u"show:辞書を反映中…"_s;
const QString feedPath = u"/sayri/updates/appcast.xml"_s;
const QString logLine = u"新しい版 %1 が配信されています（画面に赤文字で案内）"_s;

QByteArray feedItem(const QByteArray& build, const QByteArray& version)
{
    return "<item><title>サイリ " + version + "</title><sparkle:version>" + build
           + "</sparkle:version><sparkle:shortVersionString>" + version + "</sparkle:shortVersionString></item>\n";
}

// A tray host that answers later, as the desktop's bus does.
struct LateTrayHost : TrayHost {
    bool answer = false, told = false;
    bool available() override { return answer; }
    bool answered() override { return told; }
    void tell(bool there)
    {
        answer = there;
        told = true;
        if (onAnswered)
            onAnswered(there);
        if (there && onAvailable)
            onAvailable();
    }
};

}  // namespace

class TestUserActions : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    std::unique_ptr<FileServer> server;
    FakeServices* fakes = nullptr;
    std::unique_ptr<AppState> app;
    std::unique_ptr<QMenu> menu;

    // The menu as it opens now: one line per item, "---" for separators,
    // "(off)" after disabled items and "[x]"/"[ ]" before checkable ones.
    QStringList open()
    {
        app->menuNeedsUpdate(menu.get());
        QStringList lines;
        for (const QAction* a : menu->actions()) {
            QString line = a->isSeparator() ? u"---"_s : a->text();
            if (a->isCheckable())
                line.prepend(a->isChecked() ? u"[x] "_s : u"[ ] "_s);
            if (!a->isEnabled())
                line += u" (off)"_s;
            lines << line;
        }
        return lines;
    }

    QAction* menuItem(const QString& text)
    {
        for (QAction* a : menu->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }

    QStringList restarts() const { return fakes->server->seen().filter(QRegularExpression(u"^restart:"_s)); }

    // Fills the dialog and presses "追加して反映"; returns what the dialog
    // refused to add (then it stays open, and is closed here).
    QString add(const QString& surface, const QString& reading)
    {
        app->addDictWord();
        auto* dialog = qobject_cast<AddWordDialog*>(app->dictionaryDialog());
        dialog->surfaceField()->setText(surface);
        dialog->readingField()->setText(reading);
        QTest::mouseClick(dialog->addButton(), Qt::LeftButton);
        const QString refusal = dialog->refusal();
        if (!refusal.isEmpty()) {  // said in the dialog, which keeps the text
            [&] { QVERIFY(dialog->isVisible() && dialog->surface() == surface); }();
            dialog->reject();
        }
        [&] { QTRY_VERIFY(!app->dictionaryDialog()); }();
        return refusal;
    }

    // Chooses the file in the import dialog, or cancels it; returns the
    // confirmation that comes up, if any.
    CsvImportConfirmDialog* choose(const QString& path)
    {
        app->importDictCSV();
        auto* dialog = qobject_cast<QFileDialog*>(app->dictionaryDialog());
        [&] { QVERIFY(dialog && dialog->isModal()); }();
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();  // as the "選ぶ" button does
        }
        return qobject_cast<CsvImportConfirmDialog*>(app->dictionaryDialog());
    }
    // ... and confirms what it adds.
    void importFile(const QString& path)
    {
        if (CsvImportConfirmDialog* confirmation = choose(path))
            confirmation->acceptButton()->click();
        QTRY_VERIFY(!app->dictionaryDialog());
    }

    QString csv(const QByteArray& bytes)
    {
        const QString path = data->root() + u"/words.csv"_s;
        writeFile(path, bytes);
        return path;
    }

    // One check; returns once its completion has run, and what the
    // completion saw of the newer version.
    std::optional<QString> check()
    {
        bool done = false;
        std::optional<QString> seen;
        UpdateNotice::確認([&] {
            done = true;
            seen = UpdateNotice::新しい版();
        });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(done, 10000); }();
        return seen;
    }

    // When nothing is to be fetched the completion runs at once; it may read
    // the notice, as the settings window's does (a deadlock hangs the test).
    static bool answeredAtOnce()
    {
        auto called = std::make_shared<bool>(false);
        UpdateNotice::確認([called] {
            UpdateNotice::新しい版();
            *called = true;
        });
        return *called;
    }

private Q_SLOTS:
    void init()
    {
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        data->writeText(u"dictionary.txt"_s, u"# test\nサイリ\n"_s);
        server = std::make_unique<FileServer>();
        UpdateNotice::testing::reset(QString(), u"5"_s);
        fakes = new FakeServices;
        AppTiming timing;
        timing.collectDelay = 60;  // stays in processing until the test ends
        app = std::make_unique<AppState>(fakes->take(), timing);
        menu = std::make_unique<QMenu>();
    }
    void cleanup()
    {
        menu.reset();
        app.reset();
        delete fakes;
        server.reset();
        data.reset();
    }

    // The tray menu in each phase with its start-at-login switch; the tray
    // icon: back in a phase, the very icon it had (a new one at each change
    // leaves its drawings in the pixmap cache, dictation after dictation).
    void trayMenuAndIcon()
    {
        const QString version = QStringLiteral(SAYRI_VERSION);
        const QStringList idle = u"サイリ %1 — 待機中 (off) | 設定を開く… | --- | 履歴（押すとコピー） (off) | "
                                 u"（まだありません） (off) | --- | [ ] ログイン時に自動起動 | アップデートを確認… | "
                                 u"サイリについて | --- | サイリを終了"_s.arg(version)
                                     .split(u" | "_s);
        QCOMPARE(open(), idle);
        QCOMPARE(menuItem(u"設定を開く…"_s)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        menuItem(u"アップデートを確認…"_s)->trigger();  // no site set: says so
        QCOMPARE(fakes->overlay->last(), u"flash:更新の確認先が設定されていないため、確認できません@3"_s);

        const QString login = u"ログイン時に自動起動"_s;
        auto toggle = [&] {
            open();
            menuItem(login)->trigger();
            return fakes->overlay->last();
        };
        QCOMPARE(toggle(), u"flash:自動起動: オン@1.5"_s);
        QVERIFY(fakes->loginItem->enabled && open().contains(u"[x] "_s + login));
        QCOMPARE(toggle(), u"flash:自動起動: オフ@1.5"_s);
        QVERIFY(!fakes->loginItem->enabled);
        fakes->loginItem->failWith = u"フォルダ /x を作れませんでした"_s;
        QCOMPARE(toggle(), u"flash:自動起動の設定に失敗: フォルダ /x を作れませんでした@3"_s);
        QVERIFY(open().contains(u"[ ] "_s + login));

        app->optionTapped(100.0);
        app->optionTapped(100.3);
        QCOMPARE(open().first(), u"サイリ %1 — 録音中 (off)"_s.arg(version));
        app->stopAndProcess();
        QCOMPARE(open().first(), u"サイリ %1 — 処理中 (off)"_s.arg(version));  // rebuilt, not appended to

        TrayIcon tray;
        const auto shown = [&tray] { return tray.findChild<QSystemTrayIcon*>()->icon().cacheKey(); };
        tray.setIcon(u"🔴"_s);
        const qint64 recording = shown();
        tray.setIcon(u"🎙️"_s);
        QVERIFY(shown() != recording);
        tray.setIcon(u"🔴"_s);
        QCOMPARE(shown(), recording);
    }

    void historyItems()
    {
        const QString forty = u"一二三四五六七八九十一二三四五六七八九十\n一二三四五六七八九十一二三四五六七八九"_s;
        const QString thirtyEight = u"あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよ"_s;
        const QString combining = QString(38, u'か') + u"\u3099"_s;  // 38 characters, 39 code units
        for (int i = 1; i <= 9; ++i)
            QVERIFY(app->history().add(QString(), u"古い%1"_s.arg(i), AppState::historyMode));
        for (const QString& text : {u"R&D\tの件"_s, combining, thirtyEight, forty})
            QVERIFY(app->history().add(QString(), text, AppState::historyMode));

        const QStringList lines = open();
        const int first = int(lines.indexOf(u"履歴（押すとコピー） (off)"_s)) + 1;
        QCOMPARE(lines.mid(first, 10),
                 (QStringList{u"一二三四五六七八九十一二三四五六七八九十 一二三四五六七八九十一二三四五六七…"_s,
                              thirtyEight, combining, u"R&&D の件"_s, u"古い9"_s, u"古い8"_s, u"古い7"_s, u"古い6"_s,
                              u"古い5"_s, u"古い4"_s}));
        QCOMPARE(lines.at(first + 10), u"---"_s);  // ten at most

        // Choosing the shortened item copies the whole text, line break included.
        menu->actions().at(first)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), forty);
        QCOMPARE(fakes->overlay->last(), u"flash:コピーしました（Ctrl+V で貼り付け）@2"_s);
    }

    void addsWords()
    {
        app->addDictWord();
        auto* dialog = qobject_cast<AddWordDialog*>(app->dictionaryDialog());
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
        // Typing goes into the written form; Return presses "追加して反映".
        QCOMPARE(QApplication::focusWidget(), dialog->surfaceField());
        QTest::keyClicks(QApplication::focusWidget(), u"Sayri"_s);
        // A second request brings the same dialog forward.
        app->addDictWord();
        QCOMPARE(app->dictionaryDialog(), dialog);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!app->dictionaryDialog());
        QTRY_COMPARE(fakes->overlay->events, (QStringList{applying, u"flash:✓ 追加しました: Sayri@2.5"_s}));
        QCOMPARE(restarts(), QStringList{u"restart:"_s + Config::dictionaryLine()});
        QCOMPARE(app->lastAppliedDictMtime(), app->dictionaryMtime());

        // Without a reading the words are split; with one nothing is; known
        // words are left out of the message.
        add(u" 山田 、佐藤・鈴木\t"_s, u"\u3000"_s);
        QTRY_COMPARE(fakes->overlay->last(), u"flash:✓ 追加しました: 山田、佐藤、鈴木@2.5"_s);
        add(u"渡邊、"_s, u" 渡辺 "_s);
        QTRY_COMPARE(fakes->overlay->last(), u"flash:✓ 追加しました: 渡辺=渡邊、@2.5"_s);
        add(u"サイリ,俯瞰図 俯瞰図"_s, QString());
        QTRY_COMPARE(fakes->overlay->last(), u"flash:✓ 追加しました: 俯瞰図@2.5"_s);
    }

    // Cancelled dialogs, a reading alone, blanks, separators only: nothing is
    // added or said. Known words only: said, nothing restarts.
    void nothingToAdd()
    {
        app->addDictWord();
        auto* dialog = qobject_cast<AddWordDialog*>(app->dictionaryDialog());
        dialog->surfaceField()->setText(u"俯瞰図"_s);
        QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!app->dictionaryDialog());
        importFile(QString());
        for (const auto& [surface, reading] : {std::pair{"", "ふかんず"}, {" \t\u3000", ""}, {"、・,", ""}})
            add(surface, reading);
        QVERIFY(fakes->overlay->events.isEmpty());

        add(u"サイリ"_s, QString());
        QCOMPARE(fakes->overlay->events,
                 QStringList{u"flash:すべて辞書に登録済みでした（同じ語は二重に持ちません）@3"_s});
        app->pipelineQueue().drain();
        QCOMPARE(data->readText(u"dictionary.txt"_s), u"# test\nサイリ\n"_s);
        QVERIFY(fakes->server->seen().isEmpty());
        QVERIFY(!app->lastAppliedDictMtime());
    }

    // The add dialog keeps to the edit dialog's rule: a word whose line would
    // read back as another is refused there; with a reading it is written so
    // that it reads back as typed.
    void addedWordsReadBack()
    {
        for (const auto& [surface, reading] : {std::pair{"E=mc²", ""}, {"#タグ", ""}, {"山田、a=b", ""}, {"x", "a=b"}})
            QVERIFY2(!add(surface, reading).isEmpty(), surface);
        QVERIFY(fakes->overlay->events.isEmpty());
        add(u"E=mc²"_s, u"いこーる"_s);
        add(u"タグ"_s, u"#たぐ"_s);
        QCOMPARE(Config::dictionaryEntries(), (QList<Config::DictionaryEntry>{
                                                  {{}, u"サイリ"_s}, {u"いこーる"_s, u"E=mc²"_s}, {u"#たぐ"_s, u"タグ"_s}}));
    }

    // A dictionary that cannot be written, or read as text: the dialog says
    // so and stays open with what was typed; nothing is claimed or restarted.
    void failedWritesAreSaid()
    {
        const QString list = csv("ふかんず,俯瞰図\n");
        const QByteArray notText("\xff\xfe\x00\x00 not utf-8", 14);
        const QString unreadable = u"dictionary.txt を読めないため追加できませんでした（UTF-8で保存し直してください）"_s;
        {
            const FullDisk full(8);
            QCOMPARE(add(u"新語"_s, QString()), DictionaryRules::cannotWrite());
            CsvImportConfirmDialog* confirmation = choose(list);
            confirmation->acceptButton()->click();
            QCOMPARE(confirmation->refusal(), DictionaryRules::cannotWrite());
            confirmation->reject();
            QTRY_VERIFY(!app->dictionaryDialog());
        }
        QCOMPARE(data->readText(u"dictionary.txt"_s), u"# test\nサイリ\n"_s);
        writeFile(data->file(u"dictionary.txt"_s), notText);
        QCOMPARE(add(u"俯瞰図"_s, QString()), unreadable);
        importFile(list);
        app->pipelineQueue().drain();
        QCOMPARE(fakes->overlay->events, QStringList{u"flash:"_s + unreadable + u"@4"_s});
        QVERIFY(restarts().isEmpty());
        QCOMPARE(readFile(data->file(u"dictionary.txt"_s)), notText);
    }

    // A list is written only once the user has seen what it adds; one step
    // puts the dictionary back while it is as the import left it.
    void importCSV()
    {
        const QString path = csv("よみ,ひょうき\nやまだたろう,山田太郎\nサイリ,サイリ\nけんしゅつき,検出器\nDate,Amount,Memo\n");
        CsvImportConfirmDialog* confirmation = choose(path);
        QVERIFY(confirmation);
        QCOMPARE(confirmation->summary(), u"・山田太郎（よみ: やまだたろう）\n・検出器（よみ: けんしゅつき）\n"
                                          u"重複1語は飛ばします\n単語表の形でない1行は読みません"_s);
        QCOMPARE(data->readText(u"dictionary.txt"_s), u"# test\nサイリ\n"_s);
        confirmation->acceptButton()->click();
        QTRY_COMPARE(fakes->overlay->events,
                     (QStringList{applying, u"flash:✓ 2語を辞書に追加しました（重複1語は飛ばしました）@3"_s}));
        QCOMPARE(restarts().size(), 1);
        app->undoImport();
        QCOMPARE(data->readText(u"dictionary.txt"_s), u"# test\nサイリ\n"_s);
        QTRY_COMPARE(fakes->overlay->last(), u"flash:✓ 読み込む前の辞書に戻しました（1語）@2.5"_s);
        QCOMPARE(restarts().size(), 2);

        // Cancelled, it writes nothing; changed since it was read or imported:
        // not claimed, not taken back; known words only: no confirmation.
        choose(path)->cancelButton()->click();
        QCOMPARE(data->readText(u"dictionary.txt"_s), u"# test\nサイリ\n"_s);
        confirmation = choose(path);
        data->writeText(u"dictionary.txt"_s, u"山田太郎\n検出器\n"_s);
        confirmation->acceptButton()->click();
        QCOMPARE(fakes->overlay->last(), u"flash:追加できる語がありませんでした（重複3語）@3"_s);
        importFile(csv("ふかんず,俯瞰図\n"));
        QTRY_COMPARE(fakes->overlay->last(), u"flash:✓ 1語を辞書に追加しました@3"_s);
        data->writeText(u"dictionary.txt"_s, u"手で直した\n"_s);
        app->undoImport();
        QCOMPARE(data->readText(u"dictionary.txt"_s), u"手で直した\n"_s);
        QVERIFY(!choose(csv("手で直した\n")));
        QCOMPARE(fakes->overlay->last(), u"flash:追加できる語がありませんでした（重複1語）@3"_s);

        // A UTF-16 export and a file too large to be a word list say so.
        importFile(csv(QStringEncoder(QStringConverter::Utf16, QStringConverter::Flag::WriteBom)
                           .encode(u"よみ,ひょうき\n"_s)));
        QCOMPARE(fakes->overlay->last(), u"flash:このファイルは読めませんでした（UTF-8かShift-JISのCSVで保存してください）@4"_s);
        importFile(csv(QByteArray(Config::csvSizeLimit + 1, 'a')));
        QCOMPARE(fakes->overlay->last(), u"flash:単語表にしては大きすぎるファイルです（1MBまで）@4"_s);
        QCOMPARE(data->readText(u"dictionary.txt"_s), u"手で直した\n"_s);
    }

    // Other messages never take the recording bar's place: the latest one
    // waits until the dictation's own message has had its time.
    void messagesWaitForTheDictation()
    {
        QVERIFY(app->history().add(QString(), u"前の文"_s, AppState::historyMode));
        app->optionTapped(100.0);
        app->optionTapped(100.3);
        const QString bar = fakes->overlay->last();
        open();
        menuItem(u"前の文"_s)->trigger();
        app->copyDictionaryRequest();
        app->reloadDictionary();
        app->pipelineQueue().drain();
        QCoreApplication::sendPostedEvents();  // the restart's message is back
        QCOMPARE(fakes->overlay->last(), bar);
        app->escPressed();
        QCOMPARE(fakes->overlay->last(), u"flash:取り消しました@1.2"_s);
        QTRY_COMPARE(fakes->overlay->last(), u"flash:✓ 辞書を反映しました（1語）@2.5"_s);
        QVERIFY(fakes->overlay->events.filter(u"コピー"_s).isEmpty());
    }

    void reapply()
    {
        data->writeText(u"dictionary.txt"_s, u"a\nb=c\n# d\n"_s);
        app->reloadDictionary();
        app->reloadDictionary();  // two in a row restart twice, in turn
        const QString done = u"flash:✓ 辞書を反映しました（2語）@2.5"_s;
        QTRY_COMPARE(fakes->overlay->events, (QStringList{applying, applying, done, done}));
        QCOMPARE(restarts(), QStringList(2, u"restart:"_s + Config::dictionaryLine()));
        QCOMPARE(app->lastAppliedDictMtime(), app->dictionaryMtime());
    }

    // The request for a chat assistant, from the menu and from the settings window.
    void copyRequestAndSettingsCallbacks()
    {
        app->startUp();
        app->copyDictionaryRequest();
        const QString request = QGuiApplication::clipboard()->text();
        QVERIFY(request.startsWith(u"音声入力アプリの辞書を作りたいので、手伝ってください。\n"_s));
        QCOMPARE(fakes->overlay->last(),
                 u"flash:コピーしました。ふだんお使いのAI（ChatGPTなど）に、そのまま貼って送ってください@5"_s);
        QGuiApplication::clipboard()->clear();
        Q_EMIT fakes->settings.copyPromptRequested();
        QCOMPARE(QGuiApplication::clipboard()->text(), request);
        Q_EMIT fakes->settings.importCSVRequested();
        QVERIFY(qobject_cast<QFileDialog*>(app->dictionaryDialog()));
        app->dictionaryDialog()->reject();
        QTRY_VERIFY(!app->dictionaryDialog());
        Q_EMIT fakes->settings.addWordRequested();
        QVERIFY(qobject_cast<AddWordDialog*>(app->dictionaryDialog()));
        Q_EMIT fakes->settings.dictionaryReloadRequested();
        QCOMPARE(fakes->overlay->last(), applying);
        // Every write of the file is told to the window, which can take an import back.
        add(u"新語"_s, QString());
        importFile(csv("ふかんず,俯瞰図\n"));
        QVERIFY(fakes->settings.importUndoable());
        Q_EMIT fakes->settings.undoImportRequested();
        QVERIFY(!fakes->settings.importUndoable());
        QCOMPARE(fakes->settings.dictionaryWrites, 3);
        // The history page lists the newest fifty.
        for (int i = 0; i < 51; ++i)
            QVERIFY(app->history().add(QString(), u"履歴%1"_s.arg(i), AppState::historyMode));
        QCOMPARE(fakes->settings.historyProvider().size(), 50);
    }

    void feeds()
    {
        const QList<std::tuple<QByteArray, qint64, QString>> cases{
            // build -1: nothing usable
            {feedItem("6", "1.2.0"), 6, u"1.2.0"_s},
            // The first of each element counts, even when they sit in different items.
            {"<item><sparkle:version>12</sparkle:version></item>" + feedItem("11", "2.0") + feedItem("13", "2.1"), 12,
             u"2.0"_s},
            {"<sparkle:shortVersionString>9.0</sparkle:shortVersionString>", -1, {}},  // no build
            {"<sparkle:version>9</sparkle:version>", -1, {}},                          // no version
            {feedItem("9a", "9.0"), -1, {}},
            {feedItem("99999999999999999999", "9.0"), -1, {}},
            {feedItem("90", "9.0b1"), -1, {}},
            {feedItem("90", "9.0").replace("サイリ", "\xff\xfe"), -1, {}},  // not UTF-8
            {"<html><body>Not Found</body></html>", -1, {}}};
        for (const auto& [body, build, version] : cases) {
            const auto newest = UpdateNotice::detail::parseFeed(body);
            QCOMPARE(newest ? newest->build : -1, build);
            QCOMPARE(newest ? newest->version : QString(), version);
        }
    }

    void newerVersionShownThenClearedAndTheThrottle()
    {
        // No site, or none usable: nothing is fetched, the completion runs at once.
        for (const QString& site : {QString(), u"not a site"_s, u"ftp://127.0.0.1"_s}) {
            UpdateNotice::testing::reset(site, u"5"_s);
            QVERIFY(answeredAtOnce());
        }
        // A site with a path and a trailing slash: the feed lies below the path.
        UpdateNotice::testing::reset(server->baseUrl() + u"/sayri/"_s, u"5"_s);
        // Status codes are not looked at. A check asked for from another
        // thread completes on the main thread, already seeing its value.
        server->setBody(feedPath, feedItem("6", "1.2.0"), 500);
        std::atomic<bool> onMain = false, done = false;
        std::thread([&] {
            UpdateNotice::確認([&] {
                onMain = MainThread::isCurrent();
                done = UpdateNotice::新しい版() == u"1.2.0"_s;
            });
        }).join();
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
        QVERIFY(onMain.load());
        QCOMPARE(server->requests(), QStringList{feedPath});
        QCOMPARE(logMessages().count(logLine.arg(u"1.2.0"_s)), 1);

        // The tray menu names it, in red, below its title.
        QCOMPARE(open().mid(1, 2), (QStringList{u"新しい版 1.2.0 に更新できます"_s, u"設定を開く…"_s}));
        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu.get()));
        auto redPixels = [&](QAction* a) {
            const QImage shot = menu->grab(menu->actionGeometry(a)).toImage();
            int n = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x) {
                    const QColor c = shot.pixelColor(x, y);
                    n += c.red() > 180 && c.green() < 140 && c.blue() < 140;
                }
            return n;
        };
        QVERIFY(redPixels(menu->actions().at(1)) > 20);
        QCOMPARE(redPixels(menu->actions().at(2)), 0);
        menu->hide();

        // Ten minutes later nothing is fetched; thirty minutes after the fetch
        // the same version again, without a second log line (counted below).
        UpdateNotice::testing::ageLastFetch(600);
        QVERIFY(answeredAtOnce());
        UpdateNotice::testing::ageLastFetch(1200);
        QCOMPARE(check(), u"1.2.0"_s);

        // An unusable answer changes nothing.
        server->setBody(feedPath, "<html><body>Not Found</body></html>", 404);
        UpdateNotice::testing::ageLastFetch(1500);  // long enough ago
        QCOMPARE(check(), u"1.2.0"_s);

        // A feed whose newest build is our own clears the notice, quietly.
        server->setBody(feedPath, feedItem("5", "1.1.0"));
        UpdateNotice::testing::ageLastFetch(1500);
        QCOMPARE(check(), std::nullopt);
        QCOMPARE(logMessages().size(), 1);
        QCOMPARE(server->requests().size(), 4);

        // A failed fetch counts as a fetch too.
        server->close();
        UpdateNotice::testing::ageLastFetch(1500);
        check();
        QVERIFY(answeredAtOnce());
    }

    // Until the desktop answers whether it has a tray, no icon and nothing
    // said; then the icon, or the log line and the settings window told; a
    // tray that comes later still gets the icon.
    void trayWaitsForTheDesktopsAnswer()
    {
        const auto said = [](const QString& text) { return logMessages().filter(text).size(); };
        const QString none = u"トレイ（通知領域）がないため"_s, appeared = u"トレイが現れたので"_s;
        for (const bool there : {true, false}) {
            auto* host = new LateTrayHost;
            TrayIcon tray{std::unique_ptr<TrayHost>(host)};
            QSignalSpy changed(&tray, &StatusIcon::availabilityChanged);
            QCoreApplication::processEvents();
            QVERIFY(!tray.findChild<QSystemTrayIcon*>() && changed.isEmpty() && said(none) == 0);
            host->tell(there);
            QCOMPARE(tray.findChild<QSystemTrayIcon*>() != nullptr, there);
            QTRY_COMPARE(changed.size(), 1);
            QCOMPARE(changed.at(0).at(0).toBool(), there);
            QCOMPARE(said(none), there ? 0 : 1);
            QCOMPARE(said(appeared), 0);
            if (there)
                continue;
            host->tell(true);
            QVERIFY(tray.findChild<QSystemTrayIcon*>());
            QCOMPARE(said(appeared), 1);
        }
    }

    // The command line: the version and the help print and end without
    // starting anything (no display, nothing written to the data folder);
    // Qt's own options pass, with their values; anything else is answered
    // with the help on stderr and status 2.
    void commandLine()
    {
        QTemporaryDir home;
        QProcessEnvironment bare;
        bare.insert(u"HOME"_s, home.path());
        const auto run = [&](const QStringList& args) {
            QProcess sayri;
            sayri.setProcessEnvironment(bare);
            sayri.start(QStringLiteral(SAYRI_APP_PATH), args);
            if (!sayri.waitForFinished(20000))
                qFatal("sayri %s did not end", qPrintable(args.join(u' ')));
            return std::tuple{sayri.exitCode(), QString::fromUtf8(sayri.readAllStandardOutput()),
                              QString::fromUtf8(sayri.readAllStandardError())};
        };
        const QString version = u"サイリ %1（ビルド %2）\n"_s.arg(QStringLiteral(SAYRI_VERSION)).arg(SAYRI_BUILD_NUMBER);
        QCOMPARE(run({u"--version"_s}), std::tuple(0, version, QString()));
        QCOMPARE(run({u"-platform"_s, u"offscreen"_s, u"--login-item"_s, u"-v"_s}), std::tuple(0, version, QString()));
        const auto [helpCode, help, helpErr] = run({u"-style=fusion"_s, u"--help"_s});
        QCOMPARE(helpCode, 0);
        QVERIFY(help.startsWith(u"使い方: sayri"_s) && help.contains(u"--version"_s));
        QCOMPARE(run({u"--verbose"_s}), std::tuple(2, QString(), u"サイリ: オプション「--verbose」は使えません。\n\n"_s + help));
        QCOMPARE(std::get<0>(run({u"--login-item"_s, u"-display"_s})), 2);  // a value is missing
        QCOMPARE(std::get<0>(run({u"notes.txt"_s, u"--version"_s})), 2);
        QVERIFY(QDir(home.path()).isEmpty());
    }
};

QTEST_MAIN(TestUserActions)
#include "tst_UserActions.moc"
