#pragma once

#include "recognition/RecognitionServer.h"
#include "desktop/ScreenTerms.h"

// The whisper.cpp `whisper-server` child process on the loopback address, and
// the transcription request sent to it.
class WhisperServer : public RecognitionServer {
public:
    // `screen` supplies the hint terms composed into each prompt; may be null.
    explicit WhisperServer(const ScreenTerms* screen = nullptr);
    ~WhisperServer() override;

    void start(const QString& dictionary) override;
    void restart(const QString& dictionary) override;
    void stop() override;
    bool waitHealthy(double seconds) override;
    std::optional<QString> transcribe(const QByteArray& wav) override;

private:
    const ScreenTerms* screen_;
};
