#include "provision/ModelDownload.h"

#include "provision/DownloadWorker.h"
#include "store/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLockFile>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <atomic>

namespace {

const QString failedText = QStringLiteral("❌ 失敗しました。回線を確かめて、もう一度ボタンを押してください");
const QString resumeNote = QStringLiteral("（途中のつづきから再開します）");
const QString wrongDataText = QStringLiteral("❌ "
                                             "受け取ったデータが正しくありませんでした。安全のため取り消しました。もう"
                                             "一度ボタンを押すと、別の場所から取り寄せます");

}  // namespace

struct ModelDownload::Impl {
    Target target;
    std::atomic<bool> cancelled{false};
    QThread* thread = nullptr;
    DownloadWorker* worker = nullptr;
    bool running = false;
    bool failed = false;        // the last attempt ended without installing
    bool verifiedKept = false;  // the partial file is verified; the next attempt only puts it in place
    int urlIndex = 0;
    std::optional<QByteArray> resume;  // validator of the bytes in the partial file
    // Held while this Sayri writes the partial file or means to resume it:
    // another Sayri (on another display) then neither writes nor removes it.
    std::unique_ptr<QLockFile> partLock;
    QPointer<QProgressBar> bar;
    QPointer<QLabel> status;
    QPointer<QPushButton> button;
    // What the views show, kept for views built later.
    QString statusText;
    double fraction = 0;

    void setStatus(const QString& text)
    {
        statusText = text;
        if (status)
            status->setText(text);
    }
    void setFraction(double value)
    {
        fraction = value;
        if (bar)
            bar->setValue(bar->minimum() + qRound(fraction * (bar->maximum() - bar->minimum())));
    }
    void showButton() const
    {
        if (!button)
            return;
        button->setEnabled(!running);
        button->setText(running ? QStringLiteral("ダウンロード中…") : QStringLiteral("もう一度ダウンロード"));
    }
    void finish(ModelDownload* self, const DownloadWorker::Outcome& o);
    void fail(const QString& text)
    {
        failed = true;
        setStatus(text);
        showButton();
    }
};

ModelDownload::Target ModelDownload::releaseModel()
{
    return {ModelSetup::modelsDir(), ModelSetup::modelFileName, ModelSetup::Fingerprint{}, ModelSetup::modelURLs()};
}

ModelDownload::ModelDownload(Target target, QObject* parent) : QObject(parent), d(new Impl)
{
    d->target = std::move(target);
    // The process ends without destroying this object.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &ModelDownload::endThread);
}

ModelDownload::~ModelDownload()
{
    endThread();
    delete d;
}

void ModelDownload::endThread()
{
    if (!d->thread)
        return;
    d->cancelled = true;
    d->thread->quit();
    d->thread->wait();  // the worker ends its attempt as the thread finishes
    delete std::exchange(d->thread, nullptr);
    d->worker = nullptr;
    d->running = false;
}

bool ModelDownload::running() const
{
    return d->running;
}

int ModelDownload::urlIndex() const
{
    return d->urlIndex;
}

bool ModelDownload::hasResumeData() const
{
    return d->resume.has_value();
}

void ModelDownload::start(QProgressBar* bar, QLabel* status, QPushButton* button)
{
    if (d->running)
        return;
    d->running = true;
    d->failed = false;
    d->bar = bar;
    d->status = status;
    d->button = button;
    QDir().mkpath(d->target.folder);
    const QString partPath = QDir(d->target.folder).absoluteFilePath(d->target.fileName + QStringLiteral(".part"));
    if (!d->partLock) {
        auto lock = std::make_unique<QLockFile>(partPath + QStringLiteral(".lock"));
        lock->setStaleLockTime(0);  // held for as long as its Sayri runs
        // A folder where no lock can be made (full, read-only) fails the
        // download by itself, with the reason.
        if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError) {
            d->running = false;
            d->fail(QStringLiteral(
                "❌ 別のサイリが同じモデルをダウンロードしています。終わってから、もう一度ボタンを押してください"));
            Log::write(QStringLiteral("モデルのダウンロードを見送り: 別のサイリが受信中です（") + partPath + u'）');
            Q_EMIT failed();
            return;
        }
        d->partLock = std::move(lock);
    }
    const std::optional<QByteArray> resume = std::exchange(d->resume, std::nullopt);
    const bool installOnly = std::exchange(d->verifiedKept, false);
    if (installOnly) {
        d->setStatus(QStringLiteral("保存しています…"));
    } else if (resume) {
        d->setStatus(QStringLiteral("前回の続きからダウンロード中…"));
    } else {
        d->setStatus(QStringLiteral("ダウンロード中…"));
        d->setFraction(0);
    }
    if (!d->thread) {
        d->cancelled = false;
        d->thread = new QThread;
        d->thread->setObjectName(QStringLiteral("sayri.download"));
        d->worker = new DownloadWorker(d->cancelled);
        d->worker->moveToThread(d->thread);
        connect(d->thread, &QThread::finished, d->worker, &QObject::deleteLater);
        connect(d->worker, &DownloadWorker::progress, this, [this](qint64 received, qint64 total) {
            if (!d->running)
                return;
            const double mb = double(received) / 1048576.0;
            if (total > 0) {
                const double fraction = double(received) / double(total);
                d->setFraction(fraction);
                d->setStatus(QString::asprintf("ダウンロード中… %.0fMB / %.0fMB（%.0f%%）", mb,
                                               double(total) / 1048576.0, fraction * 100.0));
            } else {
                d->setStatus(QString::asprintf("ダウンロード中… %.0fMB", mb));
            }
        });
        connect(d->worker, &DownloadWorker::finished, this,
                [this](const DownloadWorker::Outcome& o) { d->finish(this, o); });
        d->thread->start();
    }
    const QStringList& urls = d->target.urls;
    const QString dir = QDir(d->target.folder).absolutePath() + u'/';
    DownloadWorker::Attempt attempt{QUrl(urls.value(urls.isEmpty() ? 0 : d->urlIndex % urls.size())), partPath,
                                    dir + d->target.fileName, d->target.genuine,
                                    // The share of the genuine size a whole model must exceed
                                    // (499 999 999 bytes for the release model).
                                    d->target.genuine.size * ModelSetup::plausibleModelSize / ModelSetup::expectedSize,
                                    resume, installOnly};
    QMetaObject::invokeMethod(
        d->worker, [w = d->worker, attempt] { w->begin(attempt); }, Qt::QueuedConnection);
}

void ModelDownload::show(QProgressBar* bar, QLabel* status, QPushButton* button)
{
    d->bar = bar;
    d->status = status;
    d->button = button;
    if (!d->running && !d->failed)
        return;
    d->setStatus(d->statusText);
    d->setFraction(d->fraction);
    d->showButton();
}

void ModelDownload::Impl::finish(ModelDownload* self, const DownloadWorker::Outcome& o)
{
    using Result = DownloadWorker::Result;
    running = false;
    const QString finalPath = QDir(target.folder).absoluteFilePath(target.fileName);
    switch (o.result) {
    case Result::Installed:
        partLock.reset();
        ModelSetup::resolveAndSave();
        Log::write(QStringLiteral("モデルのダウンロード完了（指紋照合OK）: ") + finalPath);
        Q_EMIT self->installed(finalPath);
        return;
    case Result::WrongData:
        resume.reset();
        ++urlIndex;
        fail(wrongDataText);
        Log::write(QStringLiteral("⚠️ "
                                  "モデルの指紋が一致しません（受け取ったものを破棄・別の置き場に切り替え）"));
        break;
    case Result::SaveFailed:
        // The location is not at fault: the next attempt uses it again.
        verifiedKept = o.verifiedKept;
        fail(QStringLiteral("❌ 保存に失敗しました: ") + o.error
             + (verifiedKept ? QStringLiteral("（受け取ったデータは残してあり、もう一度押すと保存だけやり直します）")
                             : QString()));
        Log::write(QStringLiteral("モデルのダウンロードに失敗: ") + o.error);
        break;
    case Result::Failed:
        resume = o.resume;
        if (!resume)
            ++urlIndex;
        fail(failedText + (resume ? resumeNote : QString()));
        Log::write(QStringLiteral("モデルのダウンロードに失敗: ")
                   + (o.error.isEmpty() ? QStringLiteral("HTTP %1・受信%2バイト").arg(o.status).arg(o.size) : o.error));
        break;
    }
    // Nothing left to resume: the partial file is gone, and so is the hold on it.
    if (!resume && !verifiedKept)
        partLock.reset();
    Q_EMIT self->failed();
}
