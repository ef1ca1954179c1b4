#include "provision/DownloadWorker.h"

#include "store/AtomicFile.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <vector>

namespace {

// What the answer may hold in memory before the network stops reading.
constexpr qint64 replyBuffer = 1 << 20;
// Received bytes are written and hashed in pieces of this size, small
// enough to stay in the processor's cache from the copy to the hashing.
constexpr qint64 pieceSize = 262144;
// A stalled connection ends the attempt after this long without data.
constexpr int stallTimeoutMs = 60000;
constexpr int progressIntervalMs = 50;

bool success(int status)
{
    return status >= 200 && status < 300;
}

}  // namespace

DownloadWorker::DownloadWorker(const std::atomic<bool>& cancelled) : cancelled_(cancelled), buffer_(pieceSize)
{
    qRegisterMetaType<DownloadWorker::Outcome>();
    connect(&progressTimer_, &QTimer::timeout, this, [this] {
        if (keepBody_ && written_ != reported_)
            reportProgress();
    });
}

DownloadWorker::~DownloadWorker()
{
    // Sayri quits: a running attempt ends here, and the partial file goes
    // (resuming is never carried over to the next start).
    dropReply();
    file_.close();
    if (!attempt_.partPath.isEmpty())
        QFile::remove(attempt_.partPath);
}

void DownloadWorker::begin(const Attempt& attempt)
{
    attempt_ = attempt;
    written_ = rangeStart_ = 0;
    status_ = 0;
    answered_ = keepBody_ = false;
    validator_.clear();
    fileError_.clear();
    if (attempt_.installOnly && ModelSetup::本物と一致する(attempt_.partPath, attempt_.genuine)) {
        written_ = attempt_.genuine.size;
        install();
        return;
    }
    if (!network_)
        network_ = new QNetworkAccessManager(this);
    if (!openPartial()) {
        end(Result::SaveFailed, file_.errorString());
        return;
    }
    if (cancelled_)
        return;
    send(rangeStart_ > 0);
}

// Opens the partial file: emptied for a fresh attempt; for a resumed one its
// bytes are hashed first and kept.
bool DownloadWorker::openPartial()
{
    file_.setFileName(attempt_.partPath);
    if (attempt_.resumeValidator && file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        hash_.reset();
        rangeStart_ = hash_.addAll(file_, &cancelled_);
        if (rangeStart_ > 0) {
            written_ = rangeStart_;
            return true;
        }
        rangeStart_ = 0;
        file_.close();
    }
    hash_.reset();
    return file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

void DownloadWorker::send(bool ranged)
{
    QNetworkRequest request(attempt_.url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // HTTP/1.1 keeps the read-buffer bound below exact.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setTransferTimeout(stallTimeoutMs);
    if (ranged) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(rangeStart_) + '-');
        request.setRawHeader("If-Range", *attempt_.resumeValidator);
    }
    reply_ = network_->get(request);
    reply_->setReadBufferSize(replyBuffer);
    connect(reply_, &QNetworkReply::readyRead, this, &DownloadWorker::receive);
    connect(reply_, &QNetworkReply::finished, this, &DownloadWorker::complete);
    progressTimer_.start(progressIntervalMs);
}

// The first look at an answer (after any redirects): whether its body is the
// file, and whether it continues the bytes on disk.
void DownloadWorker::takeAnswer()
{
    answered_ = true;
    status_ = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    keepBody_ = success(status_);
    if (!keepBody_) {
        written_ = 0;  // an error page is counted, never written; the bytes on disk stay
        return;
    }
    QByteArray validator = reply_->rawHeader("ETag");
    if (validator.startsWith("W/"))  // a weak tag cannot ask for a part
        validator.clear();
    if (validator.isEmpty())
        validator = reply_->rawHeader("Last-Modified");
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (rangeStart_ > 0) {
        const QByteArray range = reply_->rawHeader("Content-Range");
        const bool continues = status_ == 206 && validator == *attempt_.resumeValidator
                               && range.startsWith("bytes " + QByteArray::number(rangeStart_) + '-');
        if (!continues) {
            // The whole file again (200), or a part of something else:
            // the bytes on disk are not kept.
            startOver(status_ != 200);
            if (status_ != 200)
                return;
        }
    }
    validator_ = validator;
    total_ = length.isValid() ? written_ + length.toLongLong() : -1;
}

void DownloadWorker::startOver(bool newRequest)
{
    written_ = 0;
    file_.resize(0);
    file_.seek(0);
    hash_.reset();
    rangeStart_ = 0;
    if (newRequest) {
        dropReply();
        answered_ = false;
        send(false);
    }
}

void DownloadWorker::receive()
{
    if (!answered_)
        takeAnswer();
    if (!answered_)  // started over with a new request
        return;
    qint64 n = 0;
    while ((n = reply_->read(buffer_.data(), pieceSize)) > 0) {
        written_ += n;
        if (!keepBody_)
            continue;  // the error page is counted, not kept
        if (written_ > attempt_.genuine.size) {
            // More than the genuine file has: it cannot be the model.
            dropReply();
            end(Result::WrongData);
            return;
        }
        if (!writeAll(buffer_.data(), n)) {
            dropReply();
            end(Result::SaveFailed, fileError_);
            return;
        }
        hash_.add(buffer_.data(), n);
    }
}

// A short write is retried, so that a full disk reports why.
bool DownloadWorker::writeAll(const char* data, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        const qint64 n = file_.write(data + done, size - done);
        if (n <= 0) {
            fileError_ = file_.errorString();
            return false;
        }
        done += n;
    }
    return true;
}

void DownloadWorker::complete()
{
    receive();
    if (!reply_ || !answered_)
        return;
    if (keepBody_)
        reportProgress();
    const QNetworkReply::NetworkError error = reply_->error();
    // A server's error status is an answer, not a transport error.
    const QString errorText = error != QNetworkReply::NoError && status_ < 400 ? reply_->errorString() : QString();
    dropReply();
    if (errorText.isEmpty() && keepBody_ && written_ > attempt_.plausibleSize) {
        file_.close();
        if (written_ != attempt_.genuine.size
            || hash_.hex().compare(attempt_.genuine.sha256, Qt::CaseInsensitive) != 0) {
            end(Result::WrongData);
            return;
        }
        install();
        return;
    }
    end(Result::Failed, errorText, keptValidator(errorText));
}

// What a failed attempt leaves for the next one. The bytes on disk go only
// when the server said the file changed (a whole file to a `Range` request,
// or a part of another version: the file was started over then). A transfer
// broken after some bytes of an answer that names its version keeps them
// with that version; no answer, an error status or a timeout keeps the bytes
// a resumed attempt began with, with the version they were made with, unless
// the server says no part of its file starts there (416).
std::optional<QByteArray> DownloadWorker::keptValidator(const QString& transportError) const
{
    if (status_ == 416)
        return std::nullopt;
    if (keepBody_)
        return !transportError.isEmpty() && written_ > 0 && !validator_.isEmpty() ? std::optional(validator_)
                                                                                  : std::nullopt;
    return rangeStart_ > 0 ? attempt_.resumeValidator : std::nullopt;
}

// Same folder, same file system: the model appears whole or not at all,
// also after a power cut, and its record says it was verified. Verified
// bytes that cannot be put in place are kept for the next attempt.
void DownloadWorker::install()
{
    if (const std::optional<QString> why = renameDurably(attempt_.partPath, attempt_.finalPath)) {
        Q_EMIT finished(Outcome{Result::SaveFailed, *why, status_, written_, std::nullopt, true});
        return;
    }
    ModelSetup::recordFingerprint(attempt_.finalPath, attempt_.genuine.sha256);
    end(Result::Installed);
}

// Only a resumable failure keeps the partial file.
void DownloadWorker::end(Result result, const QString& error, std::optional<QByteArray> resume)
{
    file_.close();
    if (!resume)
        QFile::remove(attempt_.partPath);
    Q_EMIT finished(Outcome{result, error, status_, written_, std::move(resume)});
}

void DownloadWorker::reportProgress()
{
    reported_ = written_;
    Q_EMIT progress(written_, total_);
}

void DownloadWorker::dropReply()
{
    if (!reply_)
        return;
    progressTimer_.stop();
    QNetworkReply* reply = std::exchange(reply_, nullptr);
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}
