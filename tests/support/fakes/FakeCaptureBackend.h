#pragma once

#include "audio/AudioRecorder.h"

#include <QAudioBuffer>
#include <QAudioFormat>

#include <algorithm>
#include <optional>
#include <set>

inline QAudioFormat format(int rate, int channels, QAudioFormat::SampleFormat sample = QAudioFormat::Int16)
{
    QAudioFormat f;
    f.setSampleRate(rate);
    f.setChannelCount(channels);
    f.setSampleFormat(sample);
    return f;
}

// What one scripted engine does.
struct Script {
    QAudioFormat format = ::format(44100, 2);
    std::optional<QString> tapRefusal;
    CaptureStart start;
    bool sounds = false;    // delivers from 0.05 s after its start
    double answerTime = 0;  // a sluggish sound server: seconds its format takes
};

// Fakes for unit tests: scripted engines (the last script repeats) and a
// virtual clock. Sleeping moves the clock on and lets started engines deliver
// when their script says so.
struct FakeCaptureBackend : CaptureBackend {
    struct Engine : CaptureEngine {
        FakeCaptureBackend& world;
        int id;
        Script script;
        Tap tap;
        Lost lost;
        bool running = false;
        double startedAt = 0;
        Engine(FakeCaptureBackend& w, int i, Script s) : world(w), id(i), script(std::move(s))
        {
            world.engines << this;
        }
        ~Engine() override { world.engines.removeAll(this); }
        QAudioFormat inputFormat() override
        {
            world.clock += std::min(script.answerTime, world.deadline.value_or(1e9) - world.clock);
            return script.format;
        }
        std::optional<QString> installTap(const QAudioFormat&, Tap t) override
        {
            tap = std::move(t);
            return script.tapRefusal;
        }
        CaptureStart start() override
        {
            world.events << QStringLiteral("start#%1").arg(id);
            running = script.start.outcome == CaptureStart::started;
            startedAt = world.clock;
            return script.start;
        }
        void watchLoss(Lost l) override { lost = std::move(l); }
        void removeTap() override { tap = nullptr, lost = nullptr; }
        void stop() override
        {
            if (world.stopped.insert(id).second)
                world.events << QStringLiteral("stop#%1").arg(id);
            running = false;
        }
        void deliver(const QAudioBuffer& b)
        {
            if (tap)
                tap(b);
        }
    };

    QList<Script> scripts;
    QStringList events;    // "start#N", "sound#N" (its first delivery), "stop#N"
    QList<double> pauses;  // sleeps longer than a poll
    std::set<int> stopped;
    QList<Engine*> engines;
    double clock = 0;
    int made = 0;
    std::optional<double> deadline;
    QString openError;  // a chosen device that is found but does not open

    std::optional<AudioInputDevice> find(const QString& uid) override
    {
        return AudioInputDevice{uid, QStringLiteral("USBマイク")};
    }
    void setDeadline(std::optional<double> d) override { deadline = d; }
    std::unique_ptr<CaptureEngine> makeEngine(const QString& uid, QString* whyNot) override
    {
        if (!uid.isEmpty() && !openError.isEmpty()) {
            *whyNot = openError;
            return nullptr;
        }
        const Script script = scripts.value(made, scripts.last());
        return std::make_unique<Engine>(*this, ++made, script);
    }
    double now() override { return clock; }
    void sleep(double seconds) override
    {
        clock += seconds;
        if (seconds > 0.05)
            pauses << seconds;
        for (Engine* e : QList<Engine*>(engines)) {
            if (!e->running || !e->tap || !e->script.sounds || clock + 1e-9 < e->startedAt + 0.05)
                continue;
            if (!events.contains(QStringLiteral("sound#%1").arg(e->id)))
                events << QStringLiteral("sound#%1").arg(e->id);
            e->deliver(QAudioBuffer(QByteArray(e->script.format.bytesForDuration(10000), '\0'), e->script.format));
        }
    }
    bool allStoppedBut(int keep) const
    {
        for (int id = 1; id <= made; ++id)
            if (id != keep && !stopped.count(id))
                return false;
        return true;
    }
    int at(const QString& e) const { return int(events.indexOf(e)); }
};
