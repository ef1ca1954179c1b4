#include "BuildSettings.h"
#include "app/AppDelegate.h"
#include "app/makeAppServices.h"
#include "platform/linux/SingleInstance.h"
#include "platform/linux/TerminationSignals.h"
#include "platform/linux/VulkanDevices.h"
#include "platform/linux/SessionProbe.h"
#include "platform/linux/X11ClipboardHandover.h"
#include "store/Log.h"
#include "ui/FocusRingStyle.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    // Sayri itself, run by Sayri to list the graphics devices away from its
    // own process (see LinuxComputeDevices).
    if (argc == 2 && std::strcmp(argv[1], "--gpu-devices") == 0)
        return VulkanDevices::print();

    // What the session offers decides how each part works, and on which
    // platform Qt runs Sayri's windows.
    const SessionCapabilities session = SessionProbe::probe();
    const SessionPlan plan = selectPlan(session);
    if (QString why; !LinuxDesktop::prepareApplication(session, plan, why)) {
        std::fputs(QStringLiteral("サイリ: %1。\n").arg(why).toUtf8().constData(), stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sayri"));
    QApplication::setApplicationVersion(QStringLiteral(SAYRI_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("sayri"));
    // A tray utility: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Always the light look, whatever the desktop's theme; the orange ring marks the keyboard focus.
    QApplication::setStyle(new FocusRingStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
    QApplication::setPalette(QApplication::style()->standardPalette());

    // Qt's own texts (file dialogs, text-field menus) in Japanese as well.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    SingleInstance instance;
    if (!instance.claim()) {
        if (instance.refusal().isEmpty())
            return 0;  // the display's Sayri shows its settings window
        const QString why = QStringLiteral("サイリ: %1。安全に起動できないため終了します。\n").arg(instance.refusal());
        std::fputs(why.toUtf8().constData(), stderr);
        Log::write(QStringLiteral("起動できません: %1").arg(instance.refusal()));
        return 1;
    }

    AppDelegate delegate(QApplication::arguments());
    instance.listen([&delegate] { delegate.applicationShouldHandleReopen(); });
    TerminationSignals::install([] { QApplication::quit(); });

    LinuxDesktop desktop = LinuxDesktop::make(session, plan);
    const bool handOver = desktop.handClipboardOverAtQuit;
    delegate.applicationDidFinishLaunching(makeAppServices(std::move(desktop)));
    // Connected after the services, whose own clean-up at quit (the
    // accessibility switch) comes before the last log line.
    QObject::connect(&app, &QApplication::aboutToQuit, &delegate, [&delegate] { delegate.applicationWillTerminate(); });
    // Before the event loop ends, the clipboard goes to the desktop's keeping.
    X11ClipboardHandover clipboard;
    if (handOver)
        app.installEventFilter(&clipboard);
    const int code = QApplication::exec();
    // Everything else ends with the process; pipeline work is not waited for.
    // What a user would miss is done before the loop ends: the clipboard
    // handed over, a running download's partial file removed, the
    // accessibility switch put back.
    std::fflush(nullptr);
    std::_Exit(code);
}
