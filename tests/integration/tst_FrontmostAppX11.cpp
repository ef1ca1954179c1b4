// The frontmost application as the window manager reports it.
#include "PasteTarget.h"

#include "platform/linux/X11FrontmostApp.h"

#include <QTemporaryDir>
#include <QTest>

class TestFrontmostAppX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theFocusedWindowsApplication()
    {
        QTemporaryDir applications;
        PasteTarget target;
        QVERIFY(target.start());
        X11FrontmostApp frontmost({applications.path()});
        const FrontmostAppInfo app = frontmost.current().value_or(FrontmostAppInfo{});
        QCOMPARE(app.pid, target.pid());
        QCOMPARE(app.windowClass, QStringLiteral("Sayri-paste-target"));
        QCOMPARE(app.windowInstance, QStringLiteral("sayri-screen-window"));
        QCOMPARE(app.name, QStringLiteral("Sayri-paste-target"));  // no desktop entry: the class

        // A desktop entry added later names it.
        writeFile(applications.filePath(QStringLiteral("probe-app.desktop")),
                  "[Desktop Entry]\nType=Application\nName=探査アプリ\nStartupWMClass=Sayri-paste-target\n");
        QTest::qWait(20);
        QCOMPARE(frontmost.current().value_or(FrontmostAppInfo{}).name, QStringLiteral("探査アプリ"));

        // The window manager clears _NET_ACTIVE_WINDOW when the last window closes.
        target.close();
        QTRY_VERIFY(!frontmost.current());
    }
};

QTEST_MAIN(TestFrontmostAppX11)
#include "tst_FrontmostAppX11.moc"
