#pragma once

// Recording fakes of the controller's working objects, for unit tests only.
// Each records what the controller asked of it; none touches the desktop.

#include "app/AppServices.h"
#include "platform/ComputeDevices.h"
#include "platform/KeySynthesizer.h"

#include <QStringList>

#include <mutex>
#include <optional>

struct FakeOverlay : OverlayView {
    QStringList events;  // "show:TEXT", "flash:TEXT@SECONDS", "hide", "bar:TARGET|MIC"
    void show(const QString& t) override { events << QStringLiteral("show:") + t; }
    void flash(const QString& t, double s) override { events << QStringLiteral("flash:%1@%2").arg(t).arg(s); }
    void hide() override { events << QStringLiteral("hide"); }
    void showRecordingBar(const QString& target, const QString& mic) override
    {
        events << QStringLiteral("bar:%1|%2").arg(target, mic);
    }
    void updateLevel(float) override {}
    void updateLiveText(const QString& t) override { events << QStringLiteral("live:") + t; }
    QString last() const { return events.isEmpty() ? QString() : events.last(); }
};

struct FakeStatusIcon : StatusIcon {
    QStringList symbols;
    void setIcon(const QString& s) override { symbols << s; }
    QString current() const { return symbols.isEmpty() ? QString() : symbols.last(); }
};

struct FakeRecorder : Recorder {
    std::optional<RecError::Kind> failWith;  // start() throws this when set
    double loudness = 1000;
    bool fellBack = false;
    QByteArray wavToReturn = QByteArray(44 + 32000, '\1');
    int starts = 0, collects = 0, cancels = 0;
    double lastLoudnessValue = 0;
    void start() override
    {
        ++starts;
        if (failWith)
            throw RecError(*failWith);
    }
    QByteArray stopAndCollectWav() override
    {
        ++collects;
        lastLoudnessValue = loudness;
        return wavToReturn;
    }
    void cancel() override { ++cancels; }
    double lastLoudness() const override { return lastLoudnessValue; }
    bool fellBackToDefault() const override { return fellBack; }
};

// Answers transcriptions from a queue of replies; safe from the pipeline thread.
struct FakeServer : RecognitionServer {
    mutable std::mutex mutex;
    QList<std::optional<QString>> replies;  // taken from the front; empty list → nothing
    QStringList calls;                      // "start:DICT", "restart:DICT", "stop", "wait:S", "transcribe:BYTES"
    void record(const QString& c)
    {
        std::lock_guard l(mutex);
        calls << c;
    }
    QStringList seen() const
    {
        std::lock_guard l(mutex);
        return calls;
    }
    std::function<void()> onStart;       // runs inside start, on the pipeline
    std::function<void()> onTranscribe;  // runs inside transcribe, on the pipeline
    void start(const QString& d) override
    {
        record(QStringLiteral("start:") + d);
        if (onStart)
            onStart();
    }
    void restart(const QString& d) override { record(QStringLiteral("restart:") + d); }
    void stop() override { record(QStringLiteral("stop")); }
    bool waitHealthy(double s) override
    {
        record(QStringLiteral("wait:%1").arg(s));
        return true;
    }
    std::optional<QString> transcribe(const QByteArray& wav) override
    {
        if (onTranscribe)
            onTranscribe();
        std::lock_guard l(mutex);
        calls << QStringLiteral("transcribe:%1").arg(wav.size());
        return replies.isEmpty() ? std::nullopt : replies.takeFirst();
    }
};

// A machine with the graphics devices and processor a test says.
struct FakeComputeDevices : ComputeDevices {
    QList<GpuDevice> devices;
    CpuInfo processor;
    QList<GpuDevice> gpus() override { return devices; }
    CpuInfo cpu() override { return processor; }
};

// Records the texts; what became of them is the test's to say.
struct FakePaster : TextPaster {
    QStringList pasted;
    PasteOutcome outcome{true, {}};
    PasteOutcome paste(const QString& t) override { return pasted << t, outcome; }
};

// Records the keystrokes it is asked for; sends nothing.
struct FakeKeySynthesizer : KeySynthesizer {
    bool sendable = true;
    QList<PasteKeystroke> sent;
    int inertKeys = 0;
    bool canSend(PasteKeystroke) override { return sendable; }
    bool sendPasteKeystroke(PasteKeystroke k) override { return sent << k, sendable; }
    void sendInertKey() override { ++inertKeys; }
};

struct FakeScreen : ScreenTerms {
    int captures = 0, prepares = 0;
    void capture() override { ++captures; }
    void prepare() override { ++prepares; }
    QStringList currentTerms() const override { return {}; }
};

struct FakeFrontmost : FrontmostApp {
    std::optional<FrontmostAppInfo> app;
    int asked = 0;
    std::optional<FrontmostAppInfo> current() override
    {
        ++asked;
        return app;
    }
};

struct FakeAudioInputs : AudioInputs {
    QList<AudioInputDevice> devices;
    std::optional<AudioInputDevice> defaultDevice;
    QList<AudioInputDevice> inputs() override { return devices; }
    std::optional<AudioInputDevice> defaultInput() override { return defaultDevice; }
};

struct FakeSounds : SoundPlayer {
    QStringList played;
    void play(const QString& n) override { played << n; }
};

struct FakeHotkeys : TriggerListener {
    int startCalls = 0;
    QString trigger;
    void start() override { ++startCalls; }
    bool isStarted() const override { return startCalls > 0; }
    void setTrigger(const QString& id) override { trigger = id; }
};

struct FakeKeyboardAccess : KeyboardAccess {
    bool isTrusted = true;
    QList<SetupRow> sessionRows;
    bool trusted() override { return isTrusted; }
    QList<SetupRow> rows() override { return sessionRows; }
};

struct FakeFirstRun : FirstRun {
    bool needed = false;
    int begins = 0;
    std::function<void()> onFinished;
    bool 必要() override { return needed; }
    void begin(std::function<void()> done) override
    {
        ++begins;
        onFinished = std::move(done);
    }
};

// Start at login without touching the desktop; `failWith` makes changes fail.
struct FakeLoginItem : LoginItem {
    bool enabled = false;
    QString failWith;
    bool isEnabled() override { return enabled; }
    bool setEnabled(bool on, QString& error) override
    {
        if (!failWith.isEmpty()) {
            error = failWith;
            return false;
        }
        enabled = on;
        return true;
    }
};

struct FakeSettings : SettingsView {
    QStringList shown;  // "" for show(), the page name for show(page)
    int refreshes = 0, dictionaryWrites = 0;
    void show() override { shown << QString(); }
    void show(const QString& page) override { shown << page; }
    void refreshUpdateNotice() override { ++refreshes; }
    void dictionaryWritten() override { ++dictionaryWrites; }
};

struct FakeAbout : AboutView {
    int shows = 0, fronts = 0;
    void show() override { ++shows; }
    void bringToFront() override { ++fronts; }
};

// A full set of fakes, with typed pointers kept for the test to inspect.
struct FakeServices {
    AppServices services;  // owns the fakes until take()
    template <class Fake, class Slot> Fake* make(std::unique_ptr<Slot>& slot)
    {
        slot = std::make_unique<Fake>();
        return static_cast<Fake*>(slot.get());
    }
    FakeOverlay* overlay = make<FakeOverlay>(services.overlay);
    FakeStatusIcon* statusIcon = make<FakeStatusIcon>(services.statusIcon);
    FakeRecorder* recorder = make<FakeRecorder>(services.recorder);
    FakeScreen* screen = make<FakeScreen>(services.screen);
    FakeServer* server = make<FakeServer>(services.whisper);
    FakePaster* paster = make<FakePaster>(services.paster);
    FakeFrontmost* frontmost = make<FakeFrontmost>(services.frontmost);
    FakeAudioInputs* audioInputs = make<FakeAudioInputs>(services.audioInputs);
    FakeSounds* sounds = make<FakeSounds>(services.sounds);
    FakeHotkeys* hotkeys = make<FakeHotkeys>(services.hotkeys);
    FakeKeyboardAccess* keyboardAccess = make<FakeKeyboardAccess>(services.keyboardAccess);
    FakeFirstRun* firstRun = make<FakeFirstRun>(services.firstRun);
    FakeLoginItem* loginItem = make<FakeLoginItem>(services.loginItem);
    FakeSettings settings;
    FakeAbout about;
    QStringList warmUps;

    // Hands ownership of the fakes to the controller (call once).
    AppServices take()
    {
        services.settings = &settings;
        services.about = &about;
        services.warmUp = [this](const QString& uid) { warmUps << uid; };
        return std::move(services);
    }
};
