#pragma once

#include "platform/AudioCapture.h"

#include <memory>

class PulseConnection;

// Capture through the PulseAudio server (PipeWire's included) with libpulse:
// one connection with its own mainloop thread, where every engine's tap is
// called. Waits on the server are bounded, so a source that vanished or
// never answers makes a start fail instead of hanging.
class PulseCaptureBackend : public CaptureBackend {
public:
    PulseCaptureBackend();
    ~PulseCaptureBackend() override;

    std::optional<AudioInputDevice> find(const QString& uid) override;
    std::unique_ptr<CaptureEngine> makeEngine(const QString& uid, QString* whyNot) override;
    void setDeadline(std::optional<double> deadline) override;
    double now() override;
    void sleep(double seconds) override;

private:
    std::shared_ptr<PulseConnection> connection();  // connects again after a loss

    std::shared_ptr<PulseConnection> connection_;
    std::optional<double> deadline_;
};
