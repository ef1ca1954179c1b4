#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The local recognition server as the controller uses it. Every call but
// `stop` blocks and belongs on the pipeline queue, never the main thread.
class RecognitionServer {
public:
    virtual ~RecognitionServer() = default;
    virtual void start(const QString& dictionary) = 0;
    virtual void restart(const QString& dictionary) = 0;
    virtual void stop() = 0;  // returns at once
    virtual bool waitHealthy(double seconds) = 0;
    // The recognised text, or nothing when recognition failed.
    virtual std::optional<QString> transcribe(const QByteArray& wav) = 0;
};
