// The tray menu rebuilt at each opening, in every phase, with its history
// items, the update notice and the start-at-login switch; the tray icon.
#include "BuildSettings.h"
#include "Fakes.h"
#include "FileServer.h"
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "ui/TrayIcon.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestStatusMenu : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
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
            if (a->isSeparator()) {
                lines << u"---"_s;
                continue;
            }
            QString line = a->text();
            if (a->isCheckable())
                line.prepend(a->isChecked() ? u"[x] "_s : u"[ ] "_s);
            if (!a->isEnabled())
                line += u" (off)"_s;
            lines << line;
        }
        return lines;
    }

    QAction* item(const QString& text)
    {
        for (QAction* a : menu->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }

private Q_SLOTS:
    void init()
    {
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
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
        data.reset();
    }

    void contentsInEachPhase()
    {
        const QString version = QStringLiteral(SAYRI_VERSION);
        const QStringList idle = u"サイリ %1 — 待機中 (off) | 設定を開く… | --- | 履歴（押すとコピー） (off) | "
                                 u"（まだありません） (off) | --- | [ ] ログイン時に自動起動 | アップデートを確認… | "
                                 u"サイリについて | --- | サイリを終了"_s.arg(version)
                                     .split(u" | "_s);
        QCOMPARE(open(), idle);
        QCOMPARE(item(u"設定を開く…"_s)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        item(u"アップデートを確認…"_s)->trigger();  // no site set: says so
        QCOMPARE(fakes->overlay->last(), u"flash:更新の確認先が設定されていないため、確認できません@3"_s);

        app->optionTapped(100.0);
        app->optionTapped(100.3);
        QCOMPARE(open().first(), u"サイリ %1 — 録音中 (off)"_s.arg(version));
        app->stopAndProcess();
        QCOMPARE(open().first(), u"サイリ %1 — 処理中 (off)"_s.arg(version));
        // Rebuilt, not appended to.
        QCOMPARE(open().size(), idle.size());
    }

    void historyItems()
    {
        const QString forty = u"一二三四五六七八九十一二三四五六七八九十\n一二三四五六七八九十一二三四五六七八九"_s;
        const QString thirtyEight = u"あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよ"_s;
        const QString combining = QString(38, u'か') + u"\u3099"_s;  // 38 characters, 39 code units
        QStringList texts;
        for (int i = 1; i <= 9; ++i)
            texts << u"古い%1"_s.arg(i);
        for (const QString& text : texts + QStringList{u"R&D\tの件"_s, combining, thirtyEight, forty})
            app->history().add(QString(), text, AppState::historyMode);

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

        // An item without a text is ignored.
        QAction stray(u"x"_s);
        app->copyHistoryItem(&stray);
        app->copyHistoryItem(nullptr);
        QCOMPARE(fakes->overlay->events.size(), 1);
    }

    void loginItemSwitch()
    {
        const QString title = u"ログイン時に自動起動"_s;
        auto toggle = [&] {
            open();
            item(title)->trigger();
            return fakes->overlay->last();
        };
        QCOMPARE(toggle(), u"flash:自動起動: オン@1.5"_s);
        QVERIFY(fakes->loginItem->enabled);
        QVERIFY(open().contains(u"[x] "_s + title));
        QCOMPARE(toggle(), u"flash:自動起動: オフ@1.5"_s);
        QVERIFY(!fakes->loginItem->enabled);

        fakes->loginItem->failWith = u"フォルダ /x を作れませんでした"_s;
        QCOMPARE(toggle(), u"flash:自動起動の設定に失敗: フォルダ /x を作れませんでした@3"_s);
        QVERIFY(open().contains(u"[ ] "_s + title));
    }

    void updateNoticeItemInRed()
    {
        FileServer server;
        server.setBody(
            u"/updates/appcast.xml"_s,
            "<sparkle:version>6</sparkle:version><sparkle:shortVersionString>1.2.0</sparkle:shortVersionString>");
        UpdateNotice::testing::reset(server.baseUrl(), u"5"_s);
        bool done = false;
        UpdateNotice::確認([&] { done = true; });
        QTRY_VERIFY(done);

        const QStringList lines = open();
        QCOMPARE(lines.at(1), u"新しい版 1.2.0 に更新できます"_s);
        QCOMPARE(lines.at(2), u"設定を開く…"_s);

        // Its title is drawn in red; the others are not.
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
    }

    // Back in a phase, the tray shows the very icon it had: a new one at each
    // change leaves its drawings in the pixmap cache, dictation after dictation.
    void trayIconOfAPhaseIsReused()
    {
        TrayIcon tray;
        const auto shown = [&tray] { return tray.findChild<QSystemTrayIcon*>()->icon().cacheKey(); };
        tray.setIcon(u"🔴"_s);
        const qint64 recording = shown();
        tray.setIcon(u"🎙️"_s);
        QVERIFY(shown() != recording);
        tray.setIcon(u"🔴"_s);
        QCOMPARE(shown(), recording);
    }
};

QTEST_MAIN(TestStatusMenu)
#include "tst_StatusMenu.moc"
