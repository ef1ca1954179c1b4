#pragma once

#include "provision/ModelSetup.h"
#include "provision/Sha256.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <optional>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

// One attempt of the model download, run on the download thread: receives the
// answer, appends it to the partial file and hashes it on the way, and after
// the last byte verifies the file and renames it into place. A resumed attempt
// first hashes the bytes already in the partial file and asks only for the
// rest (`Range` with `If-Range`); an answer with the whole file or another
// validator starts the file over.
class DownloadWorker : public QObject {
    Q_OBJECT
public:
    struct Attempt {
        QUrl url;
        QString partPath;
        QString finalPath;
        ModelSetup::Fingerprint genuine;
        qint64 plausibleSize = 0;                   // more bytes than this count as a whole file
        std::optional<QByteArray> resumeValidator;  // continue the partial file
        bool installOnly = false;                   // the partial file was verified: only put it in place
    };
    enum class Result { Installed, WrongData, Failed, SaveFailed };
    struct Outcome {
        Result result = Result::Failed;
        QString error;                     // transport or file error; empty when the server answered
        int status = 0;                    // HTTP status of the last answer, 0 when none
        qint64 size = 0;                   // bytes received into the file (or of an error page)
        std::optional<QByteArray> resume;  // validator of the bytes kept on disk
        bool verifiedKept = false;         // verified, but not put in place: the partial file stays
    };

    // `cancelled` is set by the owner on another thread to end long loops.
    explicit DownloadWorker(const std::atomic<bool>& cancelled);
    ~DownloadWorker() override;

    void begin(const DownloadWorker::Attempt& attempt);

Q_SIGNALS:
    void progress(qint64 received, qint64 total);  // total < 0: unknown
    void finished(const DownloadWorker::Outcome& outcome);

private:
    bool openPartial();
    void send(bool ranged);
    void takeAnswer();
    void receive();
    void complete();
    void install();
    void startOver(bool newRequest);
    bool writeAll(const char* data, qint64 size);
    std::optional<QByteArray> keptValidator(const QString& transportError) const;
    void end(Result result, const QString& error = {}, std::optional<QByteArray> resume = {});
    void reportProgress();
    void dropReply();

    const std::atomic<bool>& cancelled_;
    QNetworkAccessManager* network_ = nullptr;
    QNetworkReply* reply_ = nullptr;
    QFile file_;
    Sha256 hash_;
    std::vector<char> buffer_;
    Attempt attempt_;
    qint64 written_ = 0;     // bytes of the file (or of an error page)
    qint64 total_ = -1;      // the whole file's size, -1 when not announced
    qint64 rangeStart_ = 0;  // bytes asked to skip; 0 for a whole-file request
    int status_ = 0;
    bool answered_ = false;  // the answer's header has been looked at
    bool keepBody_ = false;  // the answer is the file (2xx), not an error page
    QByteArray validator_;
    QString fileError_;
    QTimer progressTimer_{this};  // reports progress while bytes arrive
    qint64 reported_ = -1;
};

Q_DECLARE_METATYPE(DownloadWorker::Outcome)
