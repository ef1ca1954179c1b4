#pragma once

#include "preview/LivePreviewBackend.h"
#include "recognition/WhisperServer.h"

#include <QAudioBuffer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// Grey provisional text while the user speaks, from a second, small
// whisper-server (the preview server, on the port after the recognition
// server's, with the base model), started by the first recording that needs
// it and kept running afterwards. Starts and stops runs (LivePreviewBackend),
// restarts a run that dies (at most 5 times per recording) carrying its final
// text over, and hands the text to show to `onPartial`. Lives on the main
// thread for the whole run of Sayri; `feed` comes from the audio thread.
class LivePreview : public QObject {
public:
    // `server` is the preview server; without one no run can start.
    explicit LivePreview(std::shared_ptr<WhisperServer> server = nullptr,
                         LivePreviewBackend::Timing timing = LivePreviewBackend::Timing());
    // Stops the run and the preview server; waits for the runs' workers.
    ~LivePreview() override;

    // The preview server: the port after the recognition server's, the
    // preview model, its own output log.
    static WhisperServer::Role serverRole();
    // The server program exists.
    static bool available();
    // The preview model is in place, verified.
    static bool authorized();
    // At start-up: says when no preview is possible.
    static void 日本語データを整える();
    // Hands one captured buffer to the running run, if any (audio thread).
    static void feed(const QAudioBuffer& buffer);

    void 起動する(const QString& 引き継ぐ確定文);
    void stop();
    // Stops the run at the stop tap. A request it had in flight is called
    // off; the preview server, which notices that only at its next check, is
    // held still until `resumeServer`, so that it takes no processor time
    // from the final text.
    void stopForFinalText();
    void resumeServer();
    void 作り直す(const QString& finalizedText);

    int 再開回数 = 0;
    std::function<void(const QString&)> onPartial;

private:
    // Forgets runs whose worker has ended.
    void prune();

    const std::shared_ptr<WhisperServer> server_;
    const LivePreviewBackend::Timing timing_;
    std::shared_ptr<LivePreviewBackend> backend_;
    // Stopped or dead runs whose worker may still be busy.
    std::vector<std::shared_ptr<LivePreviewBackend>> retired_;
    bool serverHeld_ = false;
};
