// The recording bar and message panel: its geometry (anchors, placement and
// clamping on two screens, widths, the level dot's scale), then the panel as a
// real window on the offscreen platform: faces, sizes, the level dot, live-text
// trimming, dragging and remembering the place, double-clicks, other threads.
#include "TestDataFolder.h"

#include "store/Config.h"
#include "ui/Brand.h"
#include "ui/Overlay.h"
#include "ui/OverlayGeometry.h"
#include "ui/OverlayLiveText.h"
#include "ui/OverlayWidgets.h"

#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>
#include <QtTest>

#include <cmath>
#include <thread>

using namespace OverlayWidgets;
using namespace Qt::StringLiterals;
namespace G = OverlayGeometry;

namespace {

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

class TestOverlay : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    std::unique_ptr<Overlay> overlay;
    std::optional<QString> version;

    void showBar() { overlay->showRecordingBar(u"メモ"_s, u"VirtualMic"_s); }
    template <class T> T* child(const char* name) const
    {
        return overlay->panel()->findChild<T*>(QString::fromLatin1(name));
    }

private Q_SLOTS:
    // Anchors read and written, the panel placed and kept on a screen, the dot's scale.
    void geometry()
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

    void init()
    {
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        overlay = std::make_unique<Overlay>();
        version.reset();
        overlay->newerVersion = [this] { return version; };
    }
    void cleanup()
    {
        overlay.reset();
        data.reset();
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
        QCOMPARE(panel->size(), QSize(400, 116));
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
            u"えーと今日の会議では Sayri の新しい version について話します。👨‍👩‍👧 まず first "
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

QTEST_MAIN(TestOverlay)
#include "tst_Overlay.moc"
