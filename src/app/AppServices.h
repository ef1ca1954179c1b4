#pragma once

#include "audio/Recorder.h"
#include "desktop/ScreenTerms.h"
#include "desktop/TextPaster.h"
#include "desktop/TriggerListener.h"
#include "platform/AudioInputs.h"
#include "platform/FrontmostApp.h"
#include "platform/KeyboardAccess.h"
#include "platform/LoginItem.h"
#include "platform/SoundPlayer.h"
#include "recognition/RecognitionServer.h"
#include "ui/AboutView.h"
#include "ui/FirstRun.h"
#include "ui/OverlayView.h"
#include "ui/SettingsView.h"
#include "ui/StatusIcon.h"

#include <functional>
#include <memory>

class WhisperServer;

// The working objects the controller drives. The app fills it with the real
// ones (makeAppServices); tests fill it with recording fakes.
struct AppServices {
    std::unique_ptr<OverlayView> overlay;
    std::unique_ptr<StatusIcon> statusIcon;
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<ScreenTerms> screen;  // created before `whisper`, which reads its terms
    std::unique_ptr<RecognitionServer> whisper;
    std::shared_ptr<WhisperServer> previewServer;  // the live preview's; none: no preview
    std::unique_ptr<TextPaster> paster;
    std::unique_ptr<FrontmostApp> frontmost;
    std::unique_ptr<AudioInputs> audioInputs;
    std::unique_ptr<SoundPlayer> sounds;
    std::unique_ptr<TriggerListener> hotkeys;
    std::unique_ptr<KeyboardAccess> keyboardAccess;
    std::unique_ptr<FirstRun> firstRun;
    std::unique_ptr<LoginItem> loginItem;
    SettingsView* settings = nullptr;  // shared window, lives for the process
    AboutView* about = nullptr;        // shared window, lives for the process
    // Opens a newly chosen microphone briefly; runs on the pipeline queue.
    std::function<void(const QString& uid)> warmUp;
};
