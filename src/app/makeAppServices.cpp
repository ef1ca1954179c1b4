#include "app/makeAppServices.h"

#include "audio/AudioRecorder.h"
#include "desktop/HotkeyManager.h"
#include "desktop/Paster.h"
#include "desktop/ScreenContext.h"
#include "platform/linux/atspi/AtspiTree.h"
#include "platform/linux/pulse/CueSoundPlayer.h"
#include "platform/linux/pulse/PulseAudioInputs.h"
#include "platform/linux/pulse/PulseCapture.h"
#include "platform/linux/system/LinuxComputeDevices.h"
#include "platform/linux/system/LinuxProcesses.h"
#include "platform/linux/system/XdgAutostartLoginItem.h"
#include "preview/LivePreview.h"
#include "recognition/ServerCompute.h"
#include "recognition/WhisperServer.h"
#include "ui/AboutWindow.h"
#include "ui/FirstRunWindow.h"
#include "ui/Overlay.h"
#include "ui/SettingsWindow.h"
#include "ui/TrayIcon.h"

#include <QCoreApplication>

AppServices makeAppServices(LinuxDesktop desktop)
{
    AppServices s;
    s.overlay = std::make_unique<Overlay>(std::move(desktop.bar));
    s.statusIcon = std::make_unique<TrayIcon>(std::move(desktop.tray));
    s.recorder = std::make_unique<AudioRecorder>(std::make_unique<PulseCaptureBackend>());
    auto screen = std::make_unique<ScreenContext>(std::make_shared<AtspiTree>(), desktop.frontmost(),
                                                  QCoreApplication::applicationPid());
    screen->putBackLeftOverSoon();
    s.screen = std::move(screen);
    static LinuxProcesses processes;
    // Sayri's own executable lists the graphics devices, in a child process.
    auto compute =
        std::make_shared<ServerCompute>(std::make_shared<LinuxComputeDevices>(QCoreApplication::applicationFilePath()));
    s.whisper = std::make_unique<WhisperServer>(
        processes, [screen = s.screen.get()] { return screen->currentTerms(); }, WhisperServer::mainRole(), compute);
    s.previewServer = std::make_shared<WhisperServer>(processes, std::function<QStringList()>(),
                                                      LivePreview::serverRole(), compute);
    // One sender of every synthetic key, so that they reach the key source in the order announced.
    s.paster = std::make_unique<Paster>(desktop.frontmost(), desktop.keys, std::move(desktop.clipboard));
    s.frontmost = desktop.frontmost();
    s.audioInputs = std::make_unique<PulseAudioInputs>();
    s.sounds = std::make_unique<CueSoundPlayer>();
    auto hotkeys = std::make_unique<HotkeyManager>(std::move(desktop.keySource));
    if (desktop.maskLonePresses)
        hotkeys->maskLonePresses(desktop.keys);
    s.hotkeys = std::move(hotkeys);
    s.keyboardAccess = std::move(desktop.access);
    s.firstRun = std::make_unique<FirstRunWindow>(*s.keyboardAccess, *s.sounds, LivePreview::available());
    s.loginItem = std::make_unique<XdgAutostartLoginItem>();
    s.settings = &SettingsWindow::shared();
    s.about = &AboutWindow::shared();
    s.warmUp = [](const QString& uid) {
        PulseCaptureBackend backend;
        AudioRecorder::warmUp(uid, backend);
    };
    return s;
}
