#pragma once

#include <QAudioBuffer>
#include <QString>

#include <functional>

// Provisional text from an on-device recogniser while the user speaks. No
// live-preview engine exists on this platform yet: `available()` is false and
// the controller starts nothing.
class LivePreview {
public:
    static bool available() { return false; }
    static bool authorized() { return false; }
    // Prepares the on-device Japanese assets in the background.
    static void 日本語データを整える() {}
    // Hands one captured buffer to the running engine (audio thread).
    static void feed(const QAudioBuffer&) {}

    void 起動する(const QString& 引き継ぐ確定文) { (void)引き継ぐ確定文; }
    void stop() { 再開回数 = 0; }

    int 再開回数 = 0;
    std::function<void(const QString&)> onPartial;
};
