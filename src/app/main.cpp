#include "BuildSettings.h"
#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/makeAppServices.h"
#include "platform/linux/SessionProbe.h"
#include "platform/linux/system/SingleInstance.h"
#include "platform/linux/system/TerminationSignals.h"
#include "platform/linux/system/VulkanDevices.h"
#include "platform/linux/x11/X11ClipboardHandover.h"
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

namespace {

void print(std::FILE* to, const QString& text)
{
    std::fputs(text.toUtf8().constData(), to);
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    switch (const CommandLine::Request request = CommandLine::parse(args); request.action) {
    case CommandLine::Action::PrintVersion:
        print(stdout, CommandLine::versionText());
        return 0;
    case CommandLine::Action::PrintHelp:
        print(stdout, CommandLine::helpText());
        return 0;
    case CommandLine::Action::Mistake:
        print(stderr, CommandLine::mistakeText(request.mistake) + CommandLine::helpText());
        return 2;
    case CommandLine::Action::ListGpuDevices:
        // Sayri itself, run by Sayri to list the graphics devices away from
        // its own process (see LinuxComputeDevices).
        return VulkanDevices::print();
    case CommandLine::Action::Run:
        break;
    }

    // What the session offers decides how each part works, and on which
    // platform Qt runs Sayri's windows.
    const SessionCapabilities session = SessionProbe::probe();
    const SessionPlan plan = selectPlan(session);
    if (QString why; !LinuxDesktop::prepareApplication(session, plan, why)) {
        print(stderr, QStringLiteral("サイリ: %1。\n").arg(why));
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
        print(stderr, QStringLiteral("サイリ: %1。安全に起動できないため終了します。\n").arg(instance.refusal()));
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
