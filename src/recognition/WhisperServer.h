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
// the transcription request sent to it. Program, port and model are read at
// each use: by default the settings record's; a `Role` gives a second server
// (the live preview's) its own port, model, output log and log-line name.
//
// Every operation but `stop` blocks and runs on the pipeline queue; `stop`
// may come from the main thread at the same time, so the launched process is
// kept behind a lock.
class WhisperServer : public RecognitionServer {
public:
    struct Role {
        std::function<quint16()> port;
        std::function<QString()> model;
        QString outputLog;  // the file in the data folder that gets the program's output
        QString name;       // how log lines name this server
    };
    // The recognition server: `whisperPort`, `whisperModelPath`, "whisper-server.log".
    static Role mainRole();

    // The program is launched, and a stray one on the port ended, through
    // `processes`, which outlives the server. `hintTerms` supplies the terms
    // composed into each prompt (from any thread); may be empty.
    explicit WhisperServer(Processes& processes, std::function<QStringList()> hintTerms = {}, Role role = mainRole());
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

    // Starts the server when nothing answers on the port; false when it does
    // not come up.
    bool ensureAnswering();
    // "http://127.0.0.1:" and the port.
    QString baseUrl() const;

private:
    HTTP::Response send(const QByteArray& wav);
    void killStrayServer();
    std::shared_ptr<ChildProcess> takeProcess();
    bool launchedServerRunning() const;
    QString healthUrl() const;

    Processes& processes_;
    const std::function<QStringList()> hintTerms_;
    const Role role_;
    mutable std::mutex processMutex_;
    std::shared_ptr<ChildProcess> process_;
};
