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
class ServerCompute;
struct ComputePlan;

// The whisper.cpp `whisper-server` child process on the loopback address, and
// the transcription request sent to it. Program, port and model are read at
// each use: by default the settings record's; a `Role` gives a second server
// (the live preview's) its own port, model, output log and log-line name.
// With a `ServerCompute` the server runs on the device and with the threads
// its plan gives, and starts again on the processor alone when the graphics
// device fails it.
//
// Every operation but `stop`, `suspend` and `resume` blocks and runs on the
// pipeline queue (or the preview's worker); those three may come from the
// main thread at the same time, so the launched process is kept behind a lock.
class WhisperServer : public RecognitionServer {
public:
    struct Role {
        std::function<quint16()> port;  // 0: the port does not exist
        std::function<QString()> model;
        QString outputLog;  // the file in the data folder that gets the program's output
        QString name;       // how log lines name this server
        std::function<int(const ComputePlan&)> threads;
        // Audio goes only to a server Sayri launched (here, or in another
        // Sayri of this user): whatever else answers on the port gets nothing.
        bool ownServerOnly = false;
    };
    // The recognition server: `whisperPort`, `whisperModelPath`, "whisper-server.log".
    static Role mainRole();

    // The program is launched, and a stray one on the port ended, through
    // `processes`, which outlives the server. `hintTerms` supplies the terms
    // composed into each prompt (from any thread); may be empty. Without
    // `compute` the server keeps the program's own choice of device and threads.
    explicit WhisperServer(Processes& processes, std::function<QStringList()> hintTerms = {}, Role role = mainRole(),
                           std::shared_ptr<ServerCompute> compute = nullptr);
    // Leaves a launched server running; `stop` ends it.
    ~WhisperServer() override;

    // Clears away a stray server on the port, then launches the server
    // without waiting for its model to load. `dictionary` only decides the
    // log line.
    void start(const QString& dictionary) override;
    void restart(const QString& dictionary) override;
    // Sends the launched server one termination request and forgets it.
    void stop() override;
    // A launched server that ended while loading on the graphics device is
    // started once more on the processor alone, within the same wait.
    bool waitHealthy(double seconds) override;
    // The recording, with the encoder window sized to it; asked once more with
    // the whole window when that answer is empty or runs away.
    std::optional<QString> transcribe(const QByteArray& wav) override;

    // Holds the launched server still (it takes no processor time) until
    // `resume`; returns at once.
    void suspend();
    void resume();

    // The launched server's process id, if one is launched.
    std::optional<qint64> processId() const;

    // Starts the server when nothing answers on the port; false when it does
    // not come up (or, for a server of its own only, when another program
    // holds the port).
    bool ensureAnswering();
    // Something answers on the port (within 1.5 seconds).
    bool answers() const;
    // "http://127.0.0.1:" and the port.
    QString baseUrl() const;

private:
    std::optional<QString> recognise(const QByteArray& wav, std::optional<int> window);
    HTTP::Response send(const QByteArray& wav, std::optional<int> window);
    bool killStrayServer();
    std::shared_ptr<ChildProcess> takeProcess();
    std::shared_ptr<ChildProcess> launched() const;
    bool launchedServerRunning() const;
    bool sayrisServerListens();
    bool launchedOnGpu() const;
    QString lastDictionary() const;
    QString healthUrl() const;

    Processes& processes_;
    const std::function<QStringList()> hintTerms_;
    const Role role_;
    const std::shared_ptr<ServerCompute> compute_;
    mutable std::mutex processMutex_;
    std::shared_ptr<ChildProcess> process_;
    bool onGpu_ = false;    // the launched server may use the graphics device
    QString dictionary_;    // the dictionary text of the last start
};
