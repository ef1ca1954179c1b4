// The recording bar on a real X desktop: messages let clicks through, the
// dictated-into window keeps the keyboard while the bar shows and is clicked,
// the bar stays above other windows and on every desktop (dragging is the
// unit test's).
#include "DesktopProbe.h"
#include "PasteTarget.h"
#include "TestDataFolder.h"
#include "XTestKeys.h"

#include "store/Config.h"
#include "ui/Overlay.h"

#include <QTest>
#include <QWidget>

namespace {

bool xdotool(const QString& args)
{
    return bool(DesktopProbe::run(QStringLiteral("xdotool ") + args));
}

void moveMouse(QPoint p)
{
    xdotool(QStringLiteral("mousemove %1 %2").arg(p.x()).arg(p.y()));
}

// The top-level window the pointer is over, as the X server picks it (input
// shapes included): the bar itself, an application's frame.
quint64 underPointer()
{
    const QString shell = DesktopProbe::run(QStringLiteral("xdotool getmouselocation --shell")).value_or(QString());
    return shell.section(QStringLiteral("WINDOW="), 1).section(u'\n', 0, 0).toULongLong();
}

bool isViewable(quint64 window)
{
    return DesktopProbe::run(QStringLiteral("xwininfo -id %1").arg(window))
        .value_or(QString())
        .contains(QStringLiteral("Map State: IsViewable"));
}

}  // namespace

class TestOverlayX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theBarOnARealDesktop()
    {
        QVERIFY2(!qEnvironmentVariable("DISPLAY").isEmpty(), "no X display: run inside scripts/desktop-session");
        TestDataFolder data;
        Config::bootstrap();
        Overlay overlay;
        overlay.newerVersion = [] { return std::optional<QString>(); };
        PasteTarget target;
        QVERIFY(target.start());
        const quint64 window = target.windowId().toULongLong(nullptr, 16);
        XTestKeys keys;
        const auto showBar = [&] {
            overlay.showRecordingBar(QStringLiteral("Sayri-paste-target"), QStringLiteral("VirtualMic"));
            QTest::qWait(150);  // mapped and drawn on the X server
        };

        // A message lets the mouse through to the application's window,
        // put where the bar appears.
        overlay.show(QStringLiteral("準備ができました"));
        QWidget* panel = overlay.panel();
        QTRY_VERIFY(panel->isVisible());
        const QPoint centre = panel->geometry().center();
        xdotool(
            QStringLiteral("windowmove %1 %2 %3").arg(target.windowId()).arg(centre.x() - 100).arg(centre.y() - 100));
        QTest::qWait(200);
        const quint64 bar = panel->winId();
        moveMouse(centre);
        QCOMPARE_NE(underPointer(), bar);

        // The recording bar catches it; the text field keeps the keyboard
        // while the bar shows, is clicked (background and stop button), and
        // shows live text and a message.
        showBar();
        moveMouse(panel->mapToGlobal(QPoint(200, 75)));
        QTRY_COMPARE(underPointer(), bar);
        keys.tap("a");
        QTRY_COMPARE(target.text(), QStringLiteral("a"));
        int stops = 0;
        connect(&overlay, &OverlayView::stopClicked, this, [&stops] { ++stops; });
        for (const QPoint p : {QPoint(200, 75), QPoint(369, 92)}) {
            moveMouse(panel->mapToGlobal(p));
            xdotool(QStringLiteral("click 1"));
        }
        QTRY_COMPARE(stops, 1);
        overlay.updateLiveText(QStringLiteral("ライブの文字"));
        overlay.updateLevel(0.4f);
        keys.tap("b");
        overlay.show(QStringLiteral("文字起こし中…"));
        keys.tap("c");
        QTRY_COMPARE(target.text(), QStringLiteral("abc"));
        QVERIFY(ScreenWindow::isActive(target.windowId()));
        QVERIFY(QApplication::activeWindow() == nullptr);

        // The bar grows by the update notice while it shows: its new bottom
        // strip catches the mouse too.
        overlay.newerVersion = [] { return std::optional<QString>(QStringLiteral("2.0")); };
        showBar();
        QCOMPARE(panel->height(), 136);
        moveMouse(panel->mapToGlobal(QPoint(200, 128)));
        QTRY_COMPARE(underPointer(), bar);

        // The application is brought to the front again: the bar stays above it.
        QVERIFY(target.activate());
        moveMouse(panel->mapToGlobal(QPoint(200, 75)));
        QTest::qWait(100);
        QCOMPARE(underPointer(), bar);

        // Another desktop: the application's window goes, the bar stays.
        QVERIFY(xdotool(QStringLiteral("set_desktop 1")));
        QTRY_VERIFY(!isViewable(window));
        QVERIFY(isViewable(bar));
        overlay.show(QStringLiteral("✓ 貼り付けました"));
        QTest::qWait(100);
        QVERIFY(isViewable(bar));
    }
};

QTEST_MAIN(TestOverlayX11)
#include "tst_OverlayX11.moc"
