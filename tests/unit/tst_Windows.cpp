// The app's windows offscreen and what they draw with: the dictionary table,
// the settings window, the first-run window on fake platform pieces, the brand
// gradient, icons and credits, and the recording bar with its geometry.
#include "Fakes.h"
#include "FileServer.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "desktop/TriggerKey.h"
#include "platform/linux/SessionPlan.h"
#include "provision/ModelSetup.h"
#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "ui/AboutWindow.h"
#include "ui/Brand.h"
#include "ui/DictionaryModel.h"
#include "ui/DictionaryRowDelegate.h"
#include "ui/DictionaryRules.h"
#include "ui/DictionaryTable.h"
#include "ui/FirstRunWindow.h"
#include "ui/FocusRing.h"
#include "ui/FocusRingStyle.h"
#include "ui/Icons.h"
#include "ui/Overlay.h"
#include "ui/OverlayGeometry.h"
#include "ui/OverlayLiveText.h"
#include "ui/OverlayWidgets.h"
#include "ui/SettingsDrawing.h"
#include "ui/SettingsGeneralPage.h"
#include "ui/SettingsSidebar.h"
#include "ui/SettingsWindow.h"
#include "ui/ToggleSwitch.h"
#include "ui/WordDialog.h"

#include <QAccessible>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QStyleFactory>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QWindow>
#include <QtTest>

#include <cmath>
#include <thread>

using Devices = QList<AudioInputDevice>;
using Step = FirstRunWindow::Step;
using namespace OverlayWidgets;
using namespace Qt::StringLiterals;
namespace G = OverlayGeometry;

namespace {

// How far two colours are apart, channel by channel.
int distance(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue());
}

// A throw-away icon theme with one scalable icon: a filled square.
void writeTheme(const QString& root, const QString& iconName)
{
    writeFile(root + u"/probe/index.theme"_s, "[Icon Theme]\nName=probe\nDirectories=scalable\n\n"
                                              "[scalable]\nSize=64\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    writeFile(root + u"/probe/scalable/"_s + iconName + u".svg"_s,
              "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='64'>"
              "<rect width='64' height='64' fill='#00ff00'/></svg>");
}

QRect opaqueBounds(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

QRect defaultFrame(QSize size)
{
    const QRect v = QGuiApplication::primaryScreen()->availableGeometry();
    const int x = int(std::floor(v.x() + v.width() / 2.0 - size.width() / 2.0));
    const int y = v.y() + v.height() - 96 - size.height();
    return QRect(QPoint(x, y), size);
}

void sendMouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButtons buttons)
{
    const QPointF local = w->mapFromGlobal(QPointF(global));
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, QPointF(global), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

// The trimming as written out plainly: one line at a time, no shortcuts.
// The fast trimmer must cut at the same place.
qsizetype referenceOffset(const LiveTextTrimmer& measureWith, const QString& text, qsizetype offset)
{
    const QString t = text.trimmed();
    if (t.size() < offset)
        offset = 0;
    QString rest = t.mid(offset);
    while (!rest.isEmpty()) {
        const QString prefix = offset > 0 ? u"…"_s : QString();
        if (measureWith.measure(prefix + rest).lines < 4)
            break;
        offset += measureWith.measure(rest).firstLineChars;
        rest = t.mid(qMin(t.size(), offset));
    }
    return offset;
}

const QString sentence = u"今日は天気が良いので、午後から公園へ散歩に出かける予定です。"_s;

// A 1280 × 800 screen with a 30-point panel at the top, and a second
// 1920 × 1080 screen to its right whose dock takes 40 points at the bottom.
const G::ScreenArea leftScreen{QRect(0, 0, 1280, 800), QRect(0, 30, 1280, 770)};
const G::ScreenArea rightScreen{QRect(1280, 0, 1920, 1080), QRect(1280, 0, 1920, 1040)};

QRect placed(const std::optional<QString>& anchor)
{
    return G::place(QSize(400, 116), anchor, {leftScreen, rightScreen}, leftScreen).value_or(QRect());
}

}  // namespace

class TestWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    std::unique_ptr<DictionaryTable> table_;
    FakeKeyboardAccess keys;
    FakeSounds sounds;
    std::unique_ptr<Overlay> overlay;
    std::optional<QString> version;  // what the overlay is told of a newer version

    // A table showing the words of `text`, written as "dictionary.txt".
    QListView* show(const QByteArray& text)
    {
        writeFile(data->file(u"dictionary.txt"_s), text);
        table_ = std::make_unique<DictionaryTable>();
        table_->resize(700, 400);
        table_->setEntries(Config::dictionaryDisplayEntries());
        table_->show();
        return table_->findChild<QListView*>();
    }
    QByteArray file() const { return readFile(data->file(u"dictionary.txt"_s)); }
    void doubleClick(QPoint at)
    {
        QTest::mouseClick(table_->findChild<QListView*>()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table_->findChild<QListView*>()->viewport(), Qt::LeftButton, {}, at);
    }
    bool drop(const QByteArray& payload, int row, const QModelIndex& parent = {})
    {
        QMimeData data;
        data.setData(DictionaryModel::mimeType, payload);
        return table_->findChild<QListView*>()->model()->dropMimeData(&data, Qt::MoveAction, row, 0, parent);
    }

    static QStringList texts(QWidget* page)
    {
        QStringList out;
        for (auto* l : page->findChildren<QLabel*>())
            out << l->text();
        for (auto* b : page->findChildren<QPushButton*>())
            out << b->text();
        return out;
    }
    // The shown button whose title starts with `title`.
    static QPushButton* button(QWidget* window, const QString& title)
    {
        for (auto* b : window->findChildren<QPushButton*>())
            if (!b->isHidden() && b->text().startsWith(title))
                return b;
        return nullptr;
    }

    // 2: a model (sparse, recorded as verified) in the models folder and a
    // server program; 1: the model alone; 0: neither.
    void setPieces(int present)
    {
        if (present > 0) {
            QVERIFY(QDir().mkpath(ModelSetup::modelsDir()));
            QFile file(ModelSetup::modelsDir() + u'/' + ModelSetup::modelFileName);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(ModelSetup::expectedSize));
            ModelSetup::recordFingerprint(file.fileName(), ModelSetup::expectedSHA256);  // as the download does
        }
        Config::edit([&](ConfigData& c) {
            c.whisperModelPath = data->root() + u"/none.bin"_s;
            c.whisperBinary = present == 2 ? u"/bin/true"_s : data->root() + u"/none"_s;
        });
    }

    void showBar() { overlay->showRecordingBar(u"メモ"_s, u"VirtualMic"_s); }
    template <class T> T* child(const char* name) const
    {
        return overlay->panel()->findChild<T*>(QString::fromLatin1(name));
    }

private Q_SLOTS:
    void init()
    {
        data.reset();  // first: it restores the environment it found
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        keys.isTrusted = true;
        sounds.played.clear();
        overlay = std::make_unique<Overlay>();
        version.reset();
        overlay->newerVersion = [this] { return version; };
    }
    void cleanup()
    {
        overlay.reset();
        table_.reset();
        data.reset();
    }

    // Where a dragged word lands, which drops are refused, the two counts.
    void dropsAndCounts()
    {
        // source, destination, target in a table of three rows
        for (const auto& [s, d, t] : {std::tuple{0, 3, 2}, {2, 0, 0}, {0, 2, 1}, {2, 1, 1}, {0, 9, 2}})
            QCOMPARE(DictionaryRules::moveTarget(s, d, 3), t);
        QCOMPARE(DictionaryRules::sourceRow("2", 3), 2);
        for (const QByteArray bad : {"3", "", "-1", " 1", "1x", "+1", "99999999999"})
            QCOMPARE(DictionaryRules::sourceRow(bad, 3), std::nullopt);
        QListView* view = show("A\nB\n");
        QVERIFY(!drop("x", 2));
        QVERIFY(!drop("0", -1, view->model()->index(1, 0)));         // onto a row
        const QPersistentModelIndex a = view->model()->index(0, 0);  // as the selection holds it
        QVERIFY(drop("0", 2));
        QVERIFY(file().endsWith("\n\nB\nA\n"));
        QCOMPARE(a.row(), 1);

        // Counts: the long word leaves 3 characters: too few for "、BBB", enough for "、E".
        show(QByteArray(182, 'x') + "\nう=BBB\nCCC\nえ=DDD\nE\n");
        QCOMPARE(table_->activeCount(), 2);
        QCOMPARE(table_->replaceableCount(), 2);
    }

    // Accepted words read back from the file as typed, trimmed.
    void edits()
    {
        using Case = std::tuple<QString, QString, bool>;  // surface, reading, refused
        for (const auto& [surface, reading, refused] :
             {Case{u" 俯瞰図\u3000"_s, u" ふかんず"_s, false}, Case{u"俯瞰図"_s, u" "_s, false},
              Case{u" "_s, u"ふ"_s, false}, Case{u"俯瞰\n図"_s, {}, true}, Case{u"俯瞰図"_s, u"ふ\u2028か"_s, true},
              Case{u"#タグ"_s, {}, true}, Case{u"#タグ"_s, u"たぐ"_s, false}, Case{u"タグ"_s, u"#たぐ"_s, false},
              Case{u"a=b"_s, {}, true}, Case{u"a=b"_s, u"え"_s, false}, Case{u"C="_s, {}, false},
              Case{u"x"_s, u"a=b"_s, true}}) {
            const auto edit = DictionaryRules::editedWord(surface, reading);
            QVERIFY2(edit.refusal.isEmpty() != refused, qPrintable(surface + u'|' + reading));
            QCOMPARE(edit.word.has_value(), !refused && !surface.trimmed().isEmpty());
            if (edit.word) {
                Config::rewriteDictionary({*edit.word});
                QCOMPARE(Config::dictionaryEntries(), QList{*edit.word});
                QCOMPARE(edit.word->surface, surface.trimmed());
            }
        }
    }

    // The file is the truth: a table showing an older file writes nothing,
    // says so and shows the file; the edit dialog keeps what was typed.
    void racingChangesAreDropped()
    {
        QListView* view = show("A\nB\n");
        writeFile(data->file(u"dictionary.txt"_s), "A\nB\nC\n");
        QVERIFY(!drop("0", 2));
        QVERIFY(table_->notice().startsWith(u"dictionary.txt がほかで書き換えられていたため、並べ替えませんでした"_s));
        QTRY_COMPARE(table_->entries().size(), 3);
        writeFile(data->file(u"dictionary.txt"_s), "C\nA\n");
        doubleClick(view->visualRect(view->model()->index(0, 0)).center());
        auto* dialog = table_->findChild<WordDialog*>();
        QVERIFY(dialog && dialog->focusWidget() == dialog->surfaceField());
        dialog->readingField()->setText(u"x=y"_s);
        dialog->acceptButton()->click();
        QCOMPARE(dialog->refusal(), u"「よみ」に「=」は入れられません。"_s);
        dialog->readingField()->setText(u"えー"_s);
        dialog->acceptButton()->click();
        QVERIFY(dialog->isVisible() && dialog->refusal().contains(u"書き換えられていた"_s));
        QCOMPARE(file(), "C\nA\n");
        QVERIFY(logContains(u"辞書の変更を保存しませんでした: dictionary.txt "
                            u"がほかのプログラムで書き換えられていたため、ファイルの内容を残します"_s));
        // Read again, the same press writes the word where it is now.
        QTRY_COMPARE(table_->entries().size(), 2);
        dialog->acceptButton()->click();
        QVERIFY(file().endsWith("\n\nC\nえー=A\n"));
        QCOMPARE(table_->notice(), QString());
    }

    // A file that cannot be written: an edit, a move and a deletion say so,
    // and the table stays as the file is. The word to delete is asked about
    // as written, never as markup.
    void failedWritesLeaveTheTable()
    {
        QListView* view = show("A\n<b>B</b>\n");
        const FullDisk full(1);
        QVERIFY(!drop("0", 2));
        QCOMPARE(table_->notice(), DictionaryRules::cannotWrite());
        const QRect row = view->visualRect(view->model()->index(1, 0));
        doubleClick(row.center());
        auto* dialog = table_->findChild<WordDialog*>();
        dialog->surfaceField()->setText(u"X"_s);
        dialog->acceptButton()->click();
        QCOMPARE(dialog->refusal(), DictionaryRules::cannotWrite());
        dialog->reject();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, DictionaryRowDelegate::buttonRect(row).center());
        auto* box = table_->findChild<QMessageBox*>();
        const auto* question = box->findChild<QLabel*>(u"qt_msgbox_label"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(const_cast<QLabel*>(question))->text(QAccessible::Name),
                 u"「<b>B</b>」を辞書から消しますか？"_s);
        button(box, u"消す"_s)->click();
        QCOMPARE(table_->notice(), DictionaryRules::cannotWrite());
        QCOMPARE(file(), "A\n<b>B</b>\n");
        QCOMPARE(table_->entries(), Config::dictionaryDisplayEntries());
    }

    void notUtf8IsReadOnly()
    {
        const QByteArray bytes("A\n\xff\xfe B\n");
        QListView* view = show(bytes);
        table_->setEntries({{{}, u"A"_s, true}});  // a snapshot from before
        QVERIFY(table_->notice().startsWith(u"dictionary.txt を読めないため"_s));
        QVERIFY(!(view->model()->flags(view->model()->index(0, 0)) & Qt::ItemIsDragEnabled));
        QVERIFY(!drop("0", 1));
        const QRect row = view->visualRect(view->model()->index(0, 0));
        doubleClick(row.center());
        doubleClick(DictionaryRowDelegate::buttonRect(row).center());
        QVERIFY(!table_->findChild<QDialog*>());
        QCOMPARE(file(), bytes);
    }

    // The settings window's pieces. A history row measures only the lines it
    // can show, and shows the longest start that fits with "…" after it,
    // never half a character.
    void settingsPieces()
    {
        QFont font = Brand::font(12.5);
        const int limit = int(SettingsDrawing::lineHeight(font) * 4);
        const QList<std::pair<QString, QString>> cases{{u"今日は晴れ"_s, u"今日は晴れ"_s},
                                                       {u"a\nb\nc\nd"_s, u"a\nb\nc\nd"_s},
                                                       {u"a\nb\nc\nd\ne"_s, u"a\nb\nc\nd…"_s},
                                                       {QString(10000, QChar(0x3042)), {}},  // only the rules
                                                       {u"が"_s.repeated(3000), {}}};
        for (const auto& [text, expected] : cases) {
            QCOMPARE(SettingsDrawing::heightUpTo(text, 4, 300, font),
                     std::min(SettingsDrawing::measuredHeight(text, 300, font), limit));
            const QString cut = SettingsDrawing::trimForDisplay(text, 4, 300, font);
            if (!expected.isEmpty())
                QCOMPARE(cut, expected);
            if (cut == text)
                continue;
            const QString start = cut.chopped(1);
            QVERIFY(cut.endsWith(u"…"_s) && text.startsWith(start));
            QVERIFY(SettingsDrawing::measuredHeight(cut, 300, font) <= limit);
            const bool pairs = text.contains(QChar(0x3099));
            QVERIFY(!pairs || start.size() % 2 == 0);
            const QString longer = text.left(start.size() + (pairs ? 2 : 1)) + u"…"_s;
            QVERIFY(SettingsDrawing::measuredHeight(longer, 300, font) > limit);
        }

        // A button fits its longest title.
        font = Brand::font(11, QFont::Medium);
        QCOMPARE(SettingsDrawing::fitWidth(QString(), font, 86, 22), 86);
        const int wide = SettingsDrawing::fitWidth(u"✓ コピーしました"_s, font, 0, 22);
        QVERIFY(wide > 86);
        QCOMPARE(SettingsDrawing::fitWidth(u"コピー"_s, font, 86, 22, u"✓ コピーしました"_s), wide);
        QCOMPARE(SettingsDrawing::fitWidth(u"✓ コピーしました"_s, font, 0, 40), wide + 18);

        // The art's shape, its alpha scaled, after transparent padding.
        QPixmap art(10, 10);  // its left half red, its right half clear
        art.fill(Qt::transparent);
        QPainter(&art).fillRect(0, 0, 5, 10, Qt::red);
        const QImage tinted = SettingsDrawing::tintedBitmap(art, Brand::ink, 0.65, 10).toImage();
        QCOMPARE(tinted.deviceIndependentSize(), QSizeF(20, 10));
        QCOMPARE(tinted.pixelColor(5, 5).alpha(), 0);
        QCOMPARE(tinted.pixelColor(36, 10).alpha(), 0);
        QCOMPARE(tinted.pixelColor(24, 10).alpha(), qRound(0.65 * 255));

        // The microphone pop-up: the system default, the devices, a chosen one that is gone.
        using Case = std::tuple<Devices, QString, QString, int>;  // devices, chosen, shown, items
        const Devices two{{"a", "Mic A"}, {"b", "Mic B"}};
        const QString automatic = u"パソコンと同じ（自動）"_s;
        const QString gone = u"選択中のマイク（見つかりません）"_s;
        for (const auto& [devices, uid, shown, items] :
             {Case{{}, "", automatic, 1}, Case{two, "", automatic, 4}, Case{two, "b", "Mic B", 4},
              Case{two, "c", gone, 5}, Case{{}, "c", gone, 2}}) {
            QComboBox box;
            SettingsGeneralPage::fillMicPopUp(&box, devices, uid);
            QCOMPARE(box.currentText(), shown);
            QCOMPARE(box.currentData().toString(), uid);
            QCOMPARE(box.count(), items);
        }
    }

    void pages()
    {
        FileServer server;
        server.setBody(
            u"/updates/appcast.xml"_s,
            "<sparkle:version>9</sparkle:version><sparkle:shortVersionString>2.0</sparkle:shortVersionString>");
        UpdateNotice::testing::reset(server.baseUrl(), u"5"_s);
        FakeLoginItem login;
        FakeAudioInputs inputs;
        SettingsWindow window;
        window.loginItem = &login;
        window.audioInputs = &inputs;
        QList<QPair<QDateTime, QString>> history;
        window.historyProvider = [&history] { return history; };
        QSignalSpy hints(&window, &SettingsView::screenHintChanged);
        QSignalSpy reloads(&window, &SettingsView::dictionaryReloadRequested);
        window.build();
        window.render();
        QPushButton* notice = window.sidebar()->updateNotice();
        QVERIFY(notice->isHidden());

        // 設定: the trigger key; the switches change the login item and the hint setting.
        QCOMPARE(window.currentPage()->findChild<QComboBox*>()->currentText(), TriggerKey::find("option").label);
        auto* loginSwitch = window.currentPage()->findChild<ToggleSwitch*>(u"loginSwitch"_s);
        loginSwitch->click();
        QVERIFY(login.enabled && loginSwitch->isChecked());
        login.failWith = u"書けません"_s;
        loginSwitch->click();
        QVERIFY(login.enabled && loginSwitch->isChecked());  // snapped back
        QVERIFY(logContains(u"自動起動の切り替えに失敗: 書けません"_s));
        window.currentPage()->findChild<ToggleSwitch*>(u"screenHintSwitch"_s)->click();
        QVERIFY(!Config::shared().screenHintsOn() && hints.size() == 1 && logContains(u"画面のヒント: オフ"_s));
        QVERIFY(data->readText(u"config.json"_s).contains(u"\"screenHintEnabled\": false"_s));

        // じぶん辞書: a second summary line only with words beyond the budget that have readings.
        window.switchPage(SettingsPage::dictionary);
        QLabel* summary = window.currentPage()->findChild<QLabel*>(u"summary"_s);
        QVERIFY(!summary->text().contains(u'\n'));
        QString words;
        for (int i = 0; i < 30; ++i)
            words += u"よみ%1=専門用語の見本%1\n"_s.arg(i);
        data->writeText(u"dictionary.txt"_s, words);
        window.render();
        summary = window.currentPage()->findChild<QLabel*>(u"summary"_s);
        const DictionaryTable* table = window.dictionaryTable();
        QVERIFY(table->replaceableCount() > 0 && table->parentWidget() == window.currentPage());
        QCOMPARE(summary->text().split(u'\n').size(), 2);
        QVERIFY(texts(window.currentPage()).contains(u"30 語"_s));
        // Drawn again when the file changes: coming back to the window, a write
        // of the controller (with the undo of an import while it can be undone).
        data->writeText(u"dictionary.txt"_s, words + u"新語\n"_s);
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(window.window(), &activate);
        QVERIFY(texts(window.currentPage()).contains(u"31 語"_s));
        QSignalSpy undos(&window, &SettingsView::undoImportRequested);
        window.importUndoable = [] { return true; };
        window.dictionaryWritten();
        QTRY_VERIFY(button(window.currentPage(), u"読み込みを取り消す"_s));
        button(window.currentPage(), u"読み込みを取り消す"_s)->click();
        QCOMPARE(undos.size(), 1);
        // A move shows "変更を反映" until it is pressed; a deletion reloads at once.
        const QString apply = u"変更を反映（認識に効かせる）"_s;
        QVERIFY(!button(window.currentPage(), apply));
        Q_EMIT window.dictionaryTable()->reordered();
        QTRY_VERIFY(button(window.currentPage(), apply));
        button(window.currentPage(), apply)->click();
        QTRY_VERIFY(!button(window.currentPage(), apply));
        QCOMPARE(reloads.size(), 1);
        const QPointer<QWidget> before = window.currentPage();
        Q_EMIT window.dictionaryTable()->changed();
        QCOMPARE(reloads.size(), 2);
        QTRY_VERIFY(window.currentPage() != before);  // rendered again a moment later
        QVERIFY(!window.dictNeedsApply());

        // 履歴: the empty text, then a long entry cut to four lines that still copies whole.
        window.switchPage(SettingsPage::history);
        QVERIFY(texts(window.currentPage()).contains(u"まだありません。話してみてください。"_s));
        history = {{QDateTime(QDate(2026, 3, 4), QTime(9, 5)), QString(10000, QChar(0x3044))},
                   {QDateTime(), u"<b>太字</b> &lt;"_s}};
        window.render();
        QVERIFY(texts(window.currentPage()).contains(u"3/4 09:05"_s));
        // A dictated text reads as written, never as markup.
        const auto labels = window.currentPage()->findChildren<QLabel*>();
        QLabel* dictated = *std::find_if(labels.begin(), labels.end(), [&](auto* l) { return l->text().contains(u'<'); });
        QCOMPARE(QAccessible::queryAccessibleInterface(dictated)->text(QAccessible::Name), history.last().second);
        const QPointer<QPushButton> copy = button(window.currentPage(), u"コピー"_s);
        copy->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), history.first().second);
        QCOMPARE(copy->text(), u"✓ コピーしました"_s);

        // 使い方: the current key in the first step, the budget in the second card.
        window.switchPage(SettingsPage::about);
        const QString all = texts(window.currentPage()).join(u'\n');
        QVERIFY(all.contains(u"「%1」を2回ポンポンと押す"_s.arg(TriggerKey::find("option").label)));
        QVERIFY(all.contains(u"上から185字ぶん"_s));

        // A newer version found by the update check shows in red in the sidebar at the next render.
        bool checked = false;
        UpdateNotice::確認([&checked] { checked = true; });
        QTRY_VERIFY(checked);
        window.switchPage(SettingsPage::history);
        QCOMPARE(notice->text(), u"⚠ 新しい版 v2.0 → 更新する"_s);
        QVERIFY(!notice->isHidden());
        QSignalSpy checks(&window, &SettingsView::updateCheckRequested);
        notice->click();
        QCOMPARE(checks.size(), 1);
    }

    // Page names pick the page, and the window is built when the queued show
    // runs. A page built again while the preview model downloads shows its
    // progress, and so does the setup window's step built then.
    void pageNamesAndPreviewDownloadAfterRebuild()
    {
        FileServer files;  // stalls after 2 MB of the model
        files.setRoute("/m/ggml-base.bin", {.block = QByteArray(65536, 'x'), .size = 147951465, .stallAt = 2 << 20});
        qputenv("SAYRI_MODEL_URLS", files.url("/m/release.bin").toUtf8());
        Config::edit([](ConfigData& c) { c.whisperBinary = u"/bin/true"_s; });
        SettingsWindow window;
        const QList<QPair<QString, SettingsPage>> names{
            {"history", SettingsPage::history},       {"about", SettingsPage::about},
            {"dictionary", SettingsPage::dictionary}, {"credits", SettingsPage::general},
            {"History", SettingsPage::general},       {"", SettingsPage::general}};
        for (const auto& [name, page] : names) {
            window.show(name);
            QCOMPARE(window.page(), page);
            QVERIFY(!window.window());  // built only when the queued show runs
        }
        QTRY_VERIFY(window.window() && window.window()->isVisible());
        // Minimised, it comes back when it is opened again (tray, second start).
        window.window()->showMinimized();
        window.show();
        QTRY_VERIFY(!window.window()->isMinimized());
        button(window.currentPage(), u"ダウンロードする"_s)->click();
        const auto page = [&] { return static_cast<SettingsGeneralPage*>(window.currentPage()); };
        QTRY_VERIFY(page()->previewNote()->text().startsWith(u"ダウンロード中… 2MB"_s));
        window.render();
        QVERIFY(page()->previewNote()->text().startsWith(u"ダウンロード中… 2MB"_s));
        QVERIFY(!page()->previewButton()->isEnabled());
        // So does the setup window's step for it.
        FirstRunWindow setup(keys, sounds, true);
        setup.buildWindow();
        setup.show(Step::仮表示);
        QVERIFY(!texts(setup.window()).filter(u"ダウンロード中… 2MB"_s).isEmpty());
        QVERIFY(!button(setup.window(), u"ダウンロード中…"_s)->isEnabled());
        qunsetenv("SAYRI_MODEL_URLS");
    }

    void movingOnSkipsSatisfiedSteps()
    {
        // key source trusted, pieces present, live engine, the step moved on from, the step shown
        for (const auto& [trusted, pieces, live, after, shown] :
             {std::tuple{true, 2, false, Step::ようこそ, Step::完了},  // all set
              {false, 2, false, Step::ようこそ, Step::貼り付け},       // no key source
              {true, 1, false, Step::ようこそ, Step::モデル},          // no server program
              {true, 0, true, Step::マイク, Step::仮表示},             // live engine without its data
              {false, 0, false, Step::マイク, Step::貼り付け},         // nothing skipped
              {false, 0, false, Step::仮表示, Step::完了}}) {          // step not in use
            init();
            setPieces(pieces);
            keys.isTrusted = trusted;
            FirstRunWindow w(keys, sounds, live);
            w.buildWindow();
            w.進む(after);
            QCOMPARE(w.current(), shown);
        }
    }

    void navigationRowShowsNeighbours()
    {
        setPieces(2);
        const int none = -1;
        for (const auto& [live, step, previous, next] :
             {std::tuple{false, Step::ようこそ, none, int(Step::マイク)},
              {false, Step::マイク, int(Step::ようこそ), int(Step::貼り付け)},  // a satisfied neighbour
              {true, Step::貼り付け, int(Step::仮表示), int(Step::モデル)},     // with the live engine
              {false, Step::完了, int(Step::モデル), none}}) {
            FirstRunWindow w(keys, sounds, live);
            w.buildWindow();
            for (const auto& [title, expected] : {std::pair{u"← 前へ"_s, previous}, {u"次へ →"_s, next}}) {
                w.show(step);
                QPushButton* b = button(w.window(), title);
                QCOMPARE(b != nullptr, expected != none);
                if (b) {
                    b->click();
                    QCOMPARE(int(w.current()), expected);
                }
            }
        }
    }

    // In a Wayland session the paste step shows the rows of the session's
    // plan: each one's state, what it uses or what the user does, and the
    // one command to copy. It moves on once the key source is there.
    void pasteStepShowsTheSessionRows()
    {
        setPieces(2);
        SessionCapabilities gnome;
        gnome.wayland = gnome.xDisplay = true;
        gnome.desktops = {u"gnome"_s};
        gnome.globals = {u"wl_seat"_s};
        keys.sessionRows = setupRows(gnome, selectPlan(gnome));
        keys.isTrusted = false;
        FirstRunWindow w(keys, sounds, false);
        w.buildWindow();
        w.show(Step::貼り付け);
        const QString shown = texts(w.window()).join(u'\n');
        for (const QString& row : {u"→ 録音キー（Alt×2）\n　GNOMEでは、キーボードを直接読む許可がいります"_s,
                                   u"✕ 自動貼り付け（使えません）\n　GNOMEでは、ほかのアプリへキーを送れません。"_s,
                                   u"✓ 録音バー\n"_s})
            QVERIFY2(shown.contains(row), qPrintable(shown));
        QVERIFY(!texts(w.window()).contains(u"次へ"_s));  // no way on before the key source is there
        if (const QString shots = qEnvironmentVariable("SAYRI_SHOTS"); !shots.isEmpty())  // to look at
            w.window()->grab().save(shots + u"/setup-gnome-step3.png"_s);
        button(w.window(), u"コマンドをコピー"_s)->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"sudo usermod -aG input \"$USER\""_s);
        keys.isTrusted = true;
        QTRY_VERIFY_WITH_TIMEOUT(w.current() > Step::貼り付け, 5000);
    }

    void neededWhileAnythingIsMissing()
    {
        for (const auto& [marker, trusted, pieces, needed] : {std::tuple{false, true, true, false},  // ready
                                                              {true, true, true, true},
                                                              {false, false, true, true},     // no key source
                                                              {false, true, false, true}}) {  // no model
            init();  // a fresh data folder for each case
            setPieces(pieces ? 2 : 0);
            if (marker)
                data->writeText(u".forcesetup"_s, QString());
            keys.isTrusted = trusted;
            FirstRunWindow w(keys, sounds, false);
            QCOMPARE(w.必要(), needed);
            QCOMPARE(data->readText(u"config.json"_s).contains(ModelSetup::modelsDir()), pieces);
        }
    }

    void heightFitsTheScreen()
    {
        const std::optional<QRect> visible(QRect(0, 30, 1280, 800));
        for (const auto& [top, needed, area, frame] :
             {std::tuple{100, 200, visible, QRect(50, 100, 520, 320)},        // short content
              {100, 900, visible, QRect(50, 30 + 20, 520, 760)},              // too tall
              {0, 400, visible, QRect(50, 30 + 20, 520, 400)},                // above the screen
              {100, 900, std::optional<QRect>(), QRect(50, 100, 520, 860)}})  // no screen
            QCOMPARE(FirstRunWindow::fittedFrame(QRect(50, top, 520, 430), needed, area), frame);
    }

    // On the last step the poll notices the key source, sounds and turns the
    // button; the window finishes once.
    void lastStepPollsAndFinishesOnce()
    {
        setPieces(2);
        data->writeText(u".forcesetup"_s, QString());
        keys.isTrusted = false;
        FirstRunWindow w(keys, sounds, false);
        int finished = 0;
        w.begin([&] { ++finished; });
        w.show(Step::完了);
        QVERIFY(button(w.window(), u"あとで設定する"_s));
        keys.isTrusted = true;
        QTRY_VERIFY_WITH_TIMEOUT(button(w.window(), u"はじめる"_s), 3000);  // no terms to agree to here
        QCOMPARE(sounds.played, QStringList{u"Glass"_s});
        QVERIFY(texts(w.window()).filter(u"利用規約"_s).isEmpty());
        QPointer<QWidget> window = w.window();
        button(w.window(), u"はじめる"_s)->click();
        QCOMPARE(finished, 1);
        QVERIFY(!QFile::exists(data->file(u".forcesetup"_s)));
        QVERIFY(!window || !window->isVisible());
        w.finish();
        QCOMPARE(finished, 1);
    }

    // Leaving the setup before the model is in place keeps the model's step,
    // which says why and finishes by itself once the model is there. The
    // texts say what happens on this computer, where nothing asks for a
    // permission.
    void finishingWaitsForTheModel()
    {
        Config::edit([](ConfigData& c) { c.whisperBinary = u"/bin/true"_s; });
        FirstRunWindow w(keys, sounds, false);
        int finished = 0;
        w.begin([&] { ++finished; });
        const QString welcome = texts(w.window()).join(u'\n');
        QVERIFY2(welcome.contains(u"　1. マイクの確認\n　2. 仮表示のデータ（話している最中のグレーの文字）\n"
                                  u"　3. 自動貼り付けの確認"_s),
                 qPrintable(welcome));
        w.show(Step::マイク);
        QVERIFY(texts(w.window()).contains(u"次へ"_s) && !button(w.window(), u"マイクの許可"_s));
        w.show(Step::完了);
        button(w.window(), u"はじめる"_s)->click();
        QCOMPARE(w.current(), Step::モデル);
        QVERIFY(!texts(w.window()).filter(u"そのまま使いはじめます"_s).isEmpty());
        QCOMPARE(finished, 0);
        setPieces(2);
        QTRY_COMPARE_WITH_TIMEOUT(finished, 1, 3000);
    }

    void gradientIsPaintedOnceAndRunsDeepToLight()
    {
        QWidget view;
        view.resize(20, 100);
        view.show();
        new QLabel(u"停止"_s, &view);
        Brand::applyGradient(&view, 8, true);
        Brand::applyGradient(&view, 8, true);
        const auto layers = view.findChildren<Brand::GradientLayer*>();
        QCOMPARE(layers.size(), 1);
        // Below the view's own children, following the view's size.
        QCOMPARE(view.children().first(), layers.first());
        view.resize(40, 120);
        QCOMPARE(layers.first()->geometry(), QRect(0, 0, 40, 120));

        // Vertical: deep at the bottom. Horizontal: deep at the left.
        const QImage vertical = view.grab().toImage();
        QVERIFY(distance(vertical.pixelColor(20, 118), Brand::orangeDeep) < 24);
        Brand::applyGradient(&view, 0, false);
        QCOMPARE(view.findChildren<Brand::GradientLayer*>().size(), 1);
        const QImage horizontal = view.grab().toImage();
        QVERIFY(distance(horizontal.pixelColor(0, 60), Brand::orangeDeep) < 24);
    }

    // Every name has coloured artwork (not a shape) filling most of the asked size.
    void iconSet()
    {
        for (Icons::Name name : Icons::all()) {
            for (qreal size : {14.0, 56.0, 64.0}) {
                const auto image = Icons::image(name, size);
                QVERIFY2(image && !image->isShape, qPrintable(Icons::rawValue(name)));
                QCOMPARE(image->pixmap.deviceIndependentSize(), QSizeF(size, size));
                const QImage pixels = image->pixmap.toImage();
                QVERIFY2(opaqueBounds(pixels).width() > pixels.width() / 2, qPrintable(Icons::rawValue(name)));
            }
        }

        // Cached per name, size and shape flag.
        const auto a = Icons::image(Icons::Name::nav_history, 20);
        QCOMPARE(Icons::image(Icons::Name::nav_history, 20)->pixmap.cacheKey(), a->pixmap.cacheKey());
        QVERIFY(Icons::image(Icons::Name::nav_history, 24)->pixmap.cacheKey() != a->pixmap.cacheKey());
        const auto t = Icons::image(Icons::Name::nav_history, 20, true);
        QVERIFY(t->pixmap.cacheKey() != a->pixmap.cacheKey());

        // A shape image is the artwork's shape; tinting paints it.
        QVERIFY(t->isShape);
        const QImage shape = t->pixmap.toImage();
        const QRect box = opaqueBounds(shape);
        QVERIFY(!box.isEmpty());
        const QPoint p = box.center();
        const QImage tinted = Icons::shown(*t, Brand::orange).toImage();
        QVERIFY(qAlpha(shape.pixel(p)) == 0 || distance(tinted.pixelColor(p), Brand::orange) < 8);
    }

    // Without artwork the theme icon at 82 %, then nothing; the tray keeps
    // our artwork unless the theme has a symbolic icon for that image.
    void themeFallbacks()
    {
        QTemporaryDir root;
        const QStringList oldPaths = QIcon::themeSearchPaths();
        const QString oldTheme = QIcon::themeName();

        // No artwork and no theme icon: nothing, and nothing cached.
        QIcon::setThemeSearchPaths({root.path()});
        QIcon::setThemeName(u"none"_s);
        Icons::IconSet bare(root.path() + u"/icons"_s);
        QVERIFY(!bare.image(Icons::Name::logo_mark, 64, false));

        // A theme icon by the fallback name: drawn at 82 %, always a shape.
        writeTheme(root.path(), Icons::fallbackSymbol(Icons::Name::logo_mark));
        writeTheme(root.path(), u"process-working-symbolic"_s);
        QIcon::setThemeName(u"probe"_s);
        const auto image = bare.image(Icons::Name::logo_mark, 100, false);
        QVERIFY(image && image->isShape);
        QCOMPARE(image->pixmap.deviceIndependentSize(), QSizeF(100, 100));
        const QImage pixels = image->pixmap.toImage();
        const QRect box = opaqueBounds(pixels);
        QVERIFY2(qAbs(box.width() / image->pixmap.devicePixelRatio() - 82) <= 1,
                 qPrintable(QString::number(box.width())));
        QCOMPARE(QColor(pixels.pixel(box.center())).rgb() & 0xffffff, 0u);

        QStringList themeNames;
        for (const char* name : {"menubar_idle", "menubar_recording", "menubar_working"}) {
            const QIcon icon = Icons::tray(QString::fromLatin1(name));
            QCOMPARE(icon.pixmap(22, 22).deviceIndependentSize(), QSizeF(22, 22));
            themeNames << icon.name();
        }
        QIcon::setThemeSearchPaths(oldPaths);
        QIcon::setThemeName(oldTheme);
        QCOMPARE(themeNames, (QStringList{QString(), QString(), u"process-working-symbolic"_s}));
        QVERIFY(Icons::menuBar(u"menubar_unknown"_s).isNull());
    }

    // A missing licence text is named; a present one loses the blank lines around it.
    void credits()
    {
        QTemporaryDir folder;
        writeFile(folder.path() + u"/Qt.txt"_s, "\n\n  GNU LESSER GENERAL PUBLIC LICENSE\nVersion 3\n\n\n");
        const QString rule = u"\n\n"_s + QString(28, QChar(0x2500)) + u"\n\n"_s;
        const QStringList sections = AboutWindow::creditsText(folder.path()).split(rule);
        const auto& credits = AboutWindow::credits();
        QCOMPARE(sections.size(), credits.size());
        QCOMPARE(sections[2], credits[2].heading + u"\n\nGNU LESSER GENERAL PUBLIC LICENSE\nVersion 3"_s);
        QCOMPARE(sections[3],
                 credits[3].heading + u"\n\n（原文ファイルが見つかりません: "_s + credits[3].licenseFile + u"）"_s);

        // The credits view joins hard-wrapped paragraphs.
        const QList<std::pair<QString, QString>> cases{
            // Centred headings and rules lose their spaces and keep their lines.
            {"          TITLE\n          Version 3\n──────\nnext", "TITLE\nVersion 3\n──────\nnext"},
            // A paragraph's lines join up to the blank line after it.
            {"one\ntwo\n\nthree\nfour", "one two\n\nthree four"},
            // Items and copyright lines begin a line; an indented item keeps its indent.
            {"  0. Defs.\n   a) under\n  ensure\n(b) or", "  0. Defs.\n   a) under ensure\n(b) or"},
            {"x\n- Neither\nLab.\n* y\nCopyright (C) Rob", "x\n- Neither Lab.\n* y\nCopyright (C) Rob"}};
        for (const auto& [text, shown] : cases)
            QCOMPARE(AboutWindow::reflowed(text), shown);
        // The shipped licences are the real texts; reflowing changes only line
        // breaks and spaces, the words of every licence stay.
        const QString all = AboutWindow::creditsText();
        QVERIFY(!all.contains(u"原文ファイルが見つかりません"_s));
        QVERIFY(all.contains(u"Copyright (c) 2022 OpenAI"_s) && all.contains(u"Version 2.1, February 1999"_s));
        QCOMPARE(all.count(u"Permission is hereby granted, free of charge"_s), 2);
        QCOMPARE(AboutWindow::reflowed(all).simplified(), all.simplified());

        // The About window shows them reflowed; it is built once: closing keeps
        // it, showing again brings the same window.
        AboutWindow& about = AboutWindow::shared();
        about.show();
        QWidget* w = about.window();
        auto* view = w->findChild<QTextEdit*>(u"credits"_s);
        QVERIFY(view && view->isReadOnly());
        QCOMPARE(view->toPlainText(), AboutWindow::reflowed(all));
        w->close();
        about.show();
        QCOMPARE(about.window(), w);
        QVERIFY(w->isVisible());
        w->close();
    }

    // The keys do what the mouse does (the desktop test walks it all): moves
    // through the same writes, pages, the ring only after a key moved the
    // focus, which stays put when a page is drawn anew.
    void keyboard()
    {
        QListView* view = show("A\nう=B\nC\n");
        view->setCurrentIndex(view->model()->index(0, 0));
        const auto key = [view](int k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(view, Qt::Key(k), m); };
        key(Qt::Key_Down, Qt::AltModifier);
        QVERIFY(file().endsWith("\n\nう=B\nA\nC\n"));
        key(Qt::Key_Down, Qt::AltModifier);
        key(Qt::Key_Down, Qt::AltModifier);  // already the last: nothing
        QCOMPARE(view->currentIndex().row(), 2);
        key(Qt::Key_Up, Qt::AltModifier);
        QVERIFY(file().endsWith("\n\nう=B\nA\nC\n"));
        QCOMPARE(view->model()->index(0, 0).data(Qt::AccessibleTextRole), u"B よみ う 聞き取り"_s);
        writeFile(data->file(u"dictionary.txt"_s), "C\n");
        key(Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(file(), "C\n");
        QTRY_COMPARE(table_->entries().size(), 1);  // read again

        SettingsWindow window;
        window.show();
        QTRY_VERIFY(window.window() && QTest::qWaitForWindowActive(window.window()));
        using Page = SettingsPage;
        for (const auto& [k, page] : {std::pair{Qt::Key_PageDown, Page::dictionary}, {Qt::Key_PageUp, Page::general},
                                      {Qt::Key_PageUp, Page::about}, {Qt::Key_2, Page::dictionary}})
            QTest::keyClick(window.window(), k, Qt::ControlModifier);
        QCOMPARE(window.page(), Page::dictionary);
        QWidget* add = button(window.currentPage(), u"＋ 追加"_s);
        QCOMPARE(window.window()->focusWidget(), add);
        auto* ring = window.window()->findChild<FocusRing*>();
        QVERIFY(ring->isVisible() && ring->geometry().contains(add->mapTo(window.window(), QPoint(1, 1))));
        // On "プロンプトをコピー" the ring alone marks the focus: the button looks as it did without it.
        QWidget* copy = button(window.currentPage(), u"プロンプトをコピー"_s);
        auto* look = new FocusRingStyle(QStyleFactory::create(u"Fusion"_s));  // the application's look
        look->setParent(copy);  // a widget does not own its style
        copy->setStyle(look);
        const QImage plain = copy->grab().toImage();
        QTest::keyClick(add, Qt::Key_Tab);
        QVERIFY(copy->hasFocus() && copy->grab().toImage() == plain);
        for (int i = 0; i < 2; ++i)  // past "CSVを読み込む"
            QTest::keyClick(window.window()->focusWidget(), Qt::Key_Tab);
        QCOMPARE(window.window()->focusWidget(), window.dictionaryTable()->focusProxy());
        window.render();  // the same control keeps the focus on the page drawn anew
        QCOMPARE(window.window()->focusWidget(), window.dictionaryTable()->focusProxy());
        QTest::mouseClick(window.window(), Qt::LeftButton);
        QVERIFY(!ring->isVisible());
    }

    // Anchors read and written, the panel placed and kept on a screen, the dot's scale.
    void overlayGeometry()
    {
        QCOMPARE(G::parseAnchor(u",760,,96,"_s), std::optional(QPointF(760, 96)));  // empty pieces dropped
        QCOMPARE(G::parseAnchor(u"1,x,3"_s), std::optional(QPointF(1, 3)));
        QCOMPARE(G::parseAnchor(u"-12.5,3e2"_s), std::optional(QPointF(-12.5, 300)));
        for (const char* refused : {"1,2,3", "a,b", "", "760", "inf,2"})
            QVERIFY2(!G::parseAnchor(QString::fromLatin1(refused)), refused);
        QVERIFY(!G::parseAnchor(std::nullopt));

        const QList<std::pair<QString, QRect>> cases{
            // Centred on the main screen's visible area, bottom edge 96 above its bottom.
            {"-", QRect(440, 800 - 96 - 116, 400, 116)},
            {"2000,700", QRect(1800, 584, 400, 116)},  // second screen
            // Kept 8 inside the visible area: left, right, below the top panel, bottom.
            {"10,500", QRect(8, 384, 400, 116)},
            {"1275,500", QRect(1280 - 400 - 8, 384, 400, 116)},
            {"600,40", QRect(400, 30 + 8, 400, 116)},
            {"600,799", QRect(400, 800 - 8 - 116, 400, 116)},
            {"3000,1070", QRect(3200 - 400 - 8, 1040 - 8 - 116, 400, 116)},  // second screen's dock
            // Off every screen: the main screen.
            {"-5000,-5000", QRect(8, 38, 400, 116)}};
        for (const auto& [anchor, frame] : cases)
            QCOMPARE(placed(anchor == u'-' ? std::nullopt : std::optional(anchor)), frame);

        // The anchor: centre x and bottom, truncated towards zero; read back to the same place.
        QCOMPARE(G::anchorOf(QRect(560, 538, 400, 116)), u"760,654"_s);
        QCOMPARE(placed(G::anchorOf(QRect(300, 200, 400, 116))), QRect(300, 200, 400, 116));
        QVERIFY(!G::place(QSize(400, 116), u"760,96"_s, {}, std::nullopt));
        // Too large for the screen: the right and top edges stay inside.
        const G::ScreenArea small{QRect(0, 0, 300, 100), QRect(0, 0, 300, 100)};
        QCOMPARE(G::place(QSize(400, 116), std::nullopt, {small}, small), std::optional(QRect(-108, 8, 400, 116)));

        for (const auto& [level, scale] :
             {std::pair{0.25f, 1.6}, {0.0f, 1.0}, {-0.3f, 1.0}, {0.5f, 2.2}, {3.0f, 2.2}, {std::nanf(""), 1.0}})
            QCOMPARE(G::levelScale(level), scale);
    }

    void messagesFitTheirTextAndFlashesHide()
    {
        overlay->show(u"✓ 貼り付けました"_s);
        auto* label = child<TextLine>("message");
        QWidget* panel = overlay->panel();
        const QSizeF size = label->textSize();
        QCOMPARE(panel->size(), QSize(int(std::ceil(size.width())) + 54, int(std::ceil(size.height())) + 22));
        QCOMPARE(panel->geometry(), defaultFrame(panel->size()));
        // Messages never take the mouse or the keyboard.
        QVERIFY(panel->windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
        QVERIFY(panel->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));

        // A long message stops at 760 and its label keeps the margins.
        overlay->show(QString(200, QChar(0x3042)));
        QCOMPARE(label->width(), 716);

        // Lines measure as lines: twice the height of one, as wide as the widest.
        overlay->show(u"一行目\n二行目はもっと長い行です"_s);
        const QFontMetricsF m(label->font());
        QCOMPARE(label->height(), int(std::ceil(2 * m.lineSpacing())));
        QCOMPARE(panel->width(), int(std::ceil(m.horizontalAdvance(u"二行目はもっと長い行です"_s))) + 54);

        // A flash hides itself, unless a message or the bar comes first.
        overlay->flash(u"取り消しました"_s, 0.05);
        QCOMPARE(overlay->messageText(), u"取り消しました"_s);
        QTRY_VERIFY(!overlay->isShown());
        overlay->flash(u"一"_s, 0.05);
        overlay->show(u"文字起こし中…"_s);
        QTest::qWait(200);
        QCOMPARE(overlay->messageText(), u"文字起こし中…"_s);
        overlay->flash(u"二"_s, 0.05);
        showBar();
        QTest::qWait(200);
        QVERIFY(overlay->isRecordingFace());
        overlay->hide();
        QVERIFY(!overlay->isShown());
    }

    void barButtonsLabelsNoticeDotAndLiveText()
    {
        overlay->updateLevel(0.25f);  // nothing built yet: ignored
        overlay->updateLiveText(sentence);
        showBar();
        QWidget* panel = overlay->panel();
        auto* notice = child<TextLine>("update");
        QVERIFY(!notice->isVisible());
        // The bar takes clicks, never the keyboard.
        QVERIFY(!panel->windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
        QVERIFY(panel->testAttribute(Qt::WA_ShowWithoutActivating));
        for (auto* w : QList<QWidget*>{panel} + panel->findChildren<QWidget*>())
            QCOMPARE(w->focusPolicy(), Qt::NoFocus);

        version = u"1.4"_s;
        showBar();
        QCOMPARE(panel->geometry(), defaultFrame(QSize(400, 136)));
        QVERIFY(notice->isVisible() && notice->text().contains(u"1.4"_s));
        QStringList calls;
        connect(overlay.get(), &OverlayView::updateClicked, this, [&calls] { calls << u"update"_s; });
        connect(overlay.get(), &OverlayView::cancelClicked, this, [&calls] { calls << u"cancel"_s; });
        connect(overlay.get(), &OverlayView::stopClicked, this, [&calls] { calls << u"stop"_s; });
        for (const char* name : {"update", "cancel", "stop"})
            QTest::mouseClick(child<QWidget>(name), Qt::LeftButton);
        QCOMPARE(calls, (QStringList{u"update"_s, u"cancel"_s, u"stop"_s}));

        // The two labels share the row: a long microphone name gives way first.
        version.reset();
        overlay->showRecordingBar(u"テキストエディター"_s,
                                  u"とても長い名前のUSBオーディオインターフェース（ステレオ入力 1/2）"_s);
        QCOMPARE(panel->height(), 116);
        QVERIFY(!notice->isVisible());
        auto* target = child<TextLine>("target");
        auto* mic = child<TextLine>("mic");
        QCOMPARE(target->text(), u"→ テキストエディター"_s);
        QCOMPARE(panel->accessibleName(), u"録音中 → テキストエディター"_s);  // said as a status
        QCOMPARE(target->width(), 74);
        QCOMPARE(mic->width(), 170);
        overlay->showRecordingBar(u"アプリ"_s, u"マイク"_s);
        QCOMPARE(mic->width(), int(std::ceil(mic->textSize().width())) + 6);
        QCOMPARE(target->width(), int(std::ceil(target->textSize().width())) + 6);

        // The level scales the dot about its centre; the live text keeps the
        // last three lines behind "…". A new bar starts unscaled and uncut.
        overlay->updateLevel(0.25f);
        QCOMPARE(overlay->dotTargetScale(), 1.6);
        auto* dot = child<LevelDot>("dot");
        QTRY_COMPARE(dot->currentScale(), 1.6);
        QCOMPARE(QRectF(dot->geometry()).center(), QRectF(G::dotFrame(116)).center());
        overlay->updateLiveText(sentence);
        QCOMPARE(overlay->liveText(), sentence);
        const QString six = sentence.repeated(6);
        overlay->updateLiveText(six);
        QVERIFY(overlay->liveText().startsWith(u"…"_s) && six.endsWith(overlay->liveText().mid(1)));
        QCOMPARE(overlay->liveOffset(), referenceOffset(LiveTextTrimmer(Brand::font(12), G::liveWidth), six, 0));
        showBar();
        QCOMPARE(dot->currentScale(), 1.0);
        QCOMPARE(dot->targetScale(), 1.0);
        QCOMPARE(overlay->liveText(), QString());
        QCOMPARE(overlay->liveOffset(), 0);

        // A message after the bar lets clicks through again and ignores the level.
        overlay->show(u"文字起こし中…"_s);
        overlay->updateLevel(0.25f);
        QCOMPARE(overlay->dotTargetScale(), 1.0);
        QVERIFY(!overlay->isRecordingFace());
        QVERIFY(panel->windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
    }

    void trimmingCutsWhereOneLineAtATimeWould()
    {
        // Japanese with English words, spaces, emoji and a line break, grown
        // piece by piece as a live preview delivers it.
        const QString source =
            u"えーと今日の会議では Sayri の新しい version について話します。👨‍👩‍👧 "
            u"まず "
            u"first "
            u"に録音バーの"
            u"表示を確認して、それから辞書の登録方法を説明します。\n次に、長い英単語 internationalization "
            u"が行末に来たときの折り返しも見ておきます。最後に質問を受け付けて終わりにしましょう。"_s;
        LiveTextTrimmer fast(Brand::font(12), G::liveWidth);
        const LiveTextTrimmer measure(Brand::font(12), G::liveWidth);
        qsizetype reference = 0;
        for (int end = 1; end <= source.size(); end += 3) {
            const QString text = source.left(end);
            const QString shown = fast.update(text);
            reference = referenceOffset(measure, text, reference);
            QCOMPARE(fast.offset(), reference);
            QVERIFY2(measure.measure(shown).lines <= 3, qPrintable(shown));
        }
        // A whole long text at once (the preview's first delivery) ends the
        // same way as the same text grown bit by bit.
        LiveTextTrimmer once(Brand::font(12), G::liveWidth);
        once.update(source);
        QCOMPARE(once.offset(), referenceOffset(measure, source, 0));

        // Blank text clears; a shorter text (the preview started over) shows
        // from its start, without the blanks around it.
        QCOMPARE(fast.update(u" \n "_s), QString());
        QCOMPARE(once.update(u"  \nやり直し \n"_s), u"やり直し"_s);
    }

    void dragSavesOnceLaterAndDoubleClickResets()
    {
        showBar();
        QWidget* panel = overlay->panel();
        const QRect start = panel->geometry();
        const QString configFile = data->file(u"config.json"_s);
        QFile::remove(configFile);
        // A move without a press drags nothing; then grab the card between the
        // labels and the live text, move twice, let go.
        sendMouse(panel, QEvent::MouseMove, panel->mapToGlobal(QPoint(250, 125)), Qt::NoButton);
        const QPoint grab = panel->mapToGlobal(QPoint(200, 75));
        sendMouse(panel, QEvent::MouseButtonPress, grab, Qt::LeftButton);
        sendMouse(panel, QEvent::MouseMove, grab + QPoint(-30, -40), Qt::LeftButton);
        sendMouse(panel, QEvent::MouseMove, grab + QPoint(-60, -100), Qt::LeftButton);
        sendMouse(panel, QEvent::MouseButtonRelease, grab + QPoint(-60, -100), Qt::NoButton);

        const QRect moved = start.translated(-60, -100);
        QCOMPARE(panel->geometry(), moved);
        QCOMPARE(Config::shared().overlayAnchor, G::anchorOf(moved));
        QVERIFY(!QFile::exists(configFile));  // not yet: the file waits for the last move
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(configFile), 3000);
        QVERIFY(data->readText(u"config.json"_s).contains(G::anchorOf(moved)));

        // The next message and the next recording appear at the same bottom-centre point.
        overlay->show(u"文字起こし中…"_s);
        QCOMPARE(panel->geometry().bottom(), moved.bottom());
        QVERIFY(qAbs(panel->geometry().center().x() - moved.center().x()) <= 1);
        showBar();
        QCOMPARE(panel->geometry(), moved);

        // A double-click on either button moves nothing, even when the card
        // itself is handed it on a button's spot.
        for (const char* name : {"cancel", "stop"}) {
            auto* button = child<BarButton>(name);
            QTest::mouseDClick(button, Qt::LeftButton);
            sendMouse(panel, QEvent::MouseButtonDblClick, button->mapToGlobal(button->rect().center()), Qt::LeftButton);
        }
        QCOMPARE(panel->geometry(), moved);
        // On the card: back to the default place, saved at once.
        QTest::mouseDClick(panel, Qt::LeftButton, {}, QPoint(200, 75));
        QCOMPARE(panel->geometry(), defaultFrame(panel->size()));
        const auto saved = ConfigData::decode(data->readText(u"config.json"_s).toUtf8());
        QVERIFY(saved && !saved->overlayAnchor);
    }

    void callsFromOtherThreadsArriveOnTheMainThread()
    {
        std::thread([this] {
            showBar();
            overlay->updateLiveText(u"別のスレッドから"_s);
        }).join();
        QVERIFY(!overlay->panel());  // nothing yet: the work waits for the main thread
        QTRY_COMPARE(overlay->liveText(), u"別のスレッドから"_s);

        // The recorder's pace: a level every 20 ms from its own thread, never
        // quite the same. The dot keeps moving towards it meanwhile.
        auto* dot = child<LevelDot>("dot");
        std::atomic<bool> running{true};
        std::thread recorder([&] {
            for (int i = 0; running; ++i) {
                overlay->updateLevel(i % 2 ? 0.25f : 0.26f);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(dot->currentScale() > 1.5, 2000);
        running = false;
        recorder.join();
        QTRY_VERIFY(dot->currentScale() == dot->targetScale());
        QVERIFY(dot->targetScale() == 1.6 || dot->targetScale() == G::levelScale(0.26f));
    }
};

QTEST_MAIN(TestWindows)
#include "tst_Windows.moc"
