#pragma once

#include "recognition/HTTP.h"
#include "recognition/RecognitionServer.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class ChildProcess;
class Processes;

// The whisper.cpp `whisper-server` child process on the loopback address, and
// the transcription request sent to it. Port, program and model come from the
// settings record at each use.
//
// Every operation but `stop` blocks and runs on the pipeline queue; `stop`
// may come from the main thread at the same time, so the launched process is
// kept behind a lock.
class WhisperServer : public RecognitionServer {
public:
    // The program is launched, and a stray one on the port ended, through
    // `processes`, which outlives the server. `hintTerms` supplies the terms
    // composed into each prompt (from any thread); may be empty.
    explicit WhisperServer(Processes& processes, std::function<QStringList()> hintTerms = {});
    // Leaves a launched server running; `stop` ends it.
    ~WhisperServer() override;

    // Clears away a stray server on the port, then launches the server
    // without waiting for its model to load. `dictionary` only decides the
    // log line.
    void start(const QString& dictionary) override;
    void restart(const QString& dictionary) override;
    // Sends the launched server one termination request and forgets it.
    void stop() override;
    bool waitHealthy(double seconds) override;
    std::optional<QString> transcribe(const QByteArray& wav) override;

    // The launched server's process id, if one is launched.
    std::optional<qint64> processId() const;

private:
    // Starts the server when nothing answers on the port; false when it does
    // not come up.
    bool ensureAnswering();
    HTTP::Response send(const QByteArray& wav);
    void killStrayServer();
    std::shared_ptr<ChildProcess> takeProcess();
    bool launchedServerRunning() const;

    Processes& processes_;
    const std::function<QStringList()> hintTerms_;
    mutable std::mutex processMutex_;
    std::shared_ptr<ChildProcess> process_;
};
