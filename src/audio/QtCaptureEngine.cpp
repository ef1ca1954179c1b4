#include "audio/QtCaptureEngine.h"

#include "audio/AudioDevices.h"
#include "audio/AudioThread.h"

#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>

#include <chrono>
#include <thread>

namespace {

QString describe(QAudio::Error error)
{
    switch (error) {
    case QAudio::OpenError:
        return QStringLiteral("入力を開けませんでした");
    case QAudio::IOError:
        return QStringLiteral("入力の読み出しに失敗しました");
    case QAudio::FatalError:
        return QStringLiteral("音声サーバーにつながりません");
    case QAudio::UnderrunError:
    case QAudio::NoError:
        break;
    }
    return QStringLiteral("入力を開けませんでした（理由不明）");
}

const QString notAnswering = QStringLiteral("入力が応答しません");

}  // namespace

struct QtCaptureEngine::Stream {
    QAudioDevice device;
    QAudioFormat format;
    std::unique_ptr<QAudioSource> source;
    QIODevice* io = nullptr;
    Tap tap;
    QByteArray partial;  // an incomplete frame, completed by the next read

    // Reads whatever the source has; buffers go to the tap while there is one.
    // Reading goes on without a tap, so a device held open never overflows.
    void read()
    {
        if (!io)
            return;
        QByteArray bytes = io->readAll();
        if (bytes.isEmpty())
            return;
        if (!partial.isEmpty()) {
            bytes.prepend(partial);
            partial.clear();
        }
        const int frameBytes = format.bytesPerFrame();
        if (frameBytes <= 0)
            return;
        const qsizetype whole = bytes.size() - bytes.size() % frameBytes;
        if (whole < bytes.size()) {
            partial = bytes.mid(whole);
            bytes.truncate(whole);
        }
        if (whole > 0 && tap)
            tap(QAudioBuffer(bytes, format));
    }

    void close()
    {
        tap = nullptr;
        io = nullptr;
        if (source) {
            source->stop();
            source.reset();
        }
        partial.clear();
    }
};

QtCaptureEngine::QtCaptureEngine(std::shared_ptr<AudioThread> thread, const QAudioDevice& device)
    : thread_(std::move(thread)), device_(device), stream_(std::make_shared<Stream>())
{
    stream_->device = device;
}

QtCaptureEngine::~QtCaptureEngine()
{
    // The source is closed and deleted on its own thread.
    thread_->post([stream = std::move(stream_)] { stream->close(); });
}

QAudioFormat QtCaptureEngine::inputFormat()
{
    if (device_.isNull()) {
        // No input at all: the format it would be asked for, so that the start
        // itself reports the missing input.
        QAudioFormat format;
        format.setSampleRate(16000);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        return format;
    }
    return device_.preferredFormat();
}

std::optional<QString> QtCaptureEngine::installTap(const QAudioFormat& format, Tap tap)
{
    if (!device_.isNull() && !device_.isFormatSupported(format))
        return QStringLiteral("この形式では開けません（%1Hz/%2ch）").arg(format.sampleRate()).arg(format.channelCount());
    const bool done = thread_->run([s = stream_, format, tap = std::move(tap)]() mutable {
        s->format = format;
        s->tap = std::move(tap);
        if (!s->device.isNull() && !s->source)
            s->source = std::make_unique<QAudioSource>(s->device, format);
    });
    if (!done)
        return notAnswering;
    return std::nullopt;
}

CaptureStart QtCaptureEngine::start()
{
    if (device_.isNull())
        return {CaptureStart::failed, QStringLiteral("入力機器が見つかりません（音声サーバーが動いていない可能性があります）")};
    // Shared with the work: a thread that answers late must not write into a
    // finished call.
    auto result = std::make_shared<CaptureStart>();
    const bool done = thread_->run([s = stream_, result] {
        if (!s->source)
            s->source = std::make_unique<QAudioSource>(s->device, s->format);
        QIODevice* io = s->source->start();
        if (!io) {
            const QAudio::Error error = s->source->error();
            s->source.reset();
            *result = {error == QAudio::FatalError ? CaptureStart::failed : CaptureStart::refused, describe(error)};
            return;
        }
        s->io = io;
        Stream* raw = s.get();
        QObject::connect(io, &QIODevice::readyRead, io, [raw] { raw->read(); });
    });
    if (!done)
        return {CaptureStart::refused, notAnswering};
    return *result;
}

void QtCaptureEngine::removeTap()
{
    thread_->run([s = stream_] { s->tap = nullptr; });
}

void QtCaptureEngine::stop()
{
    thread_->run([s = stream_] { s->close(); });
}

QtCaptureBackend::QtCaptureBackend()
{
    // Brings up Qt's audio device handling on the creating (main) thread
    // before any audio thread touches it.
    QMediaDevices::defaultAudioInput();
}

std::optional<AudioInputDevice> QtCaptureBackend::find(const QString& uid)
{
    return AudioDevices::find(uid);
}

std::unique_ptr<CaptureEngine> QtCaptureBackend::makeEngine(const QString& uid)
{
    if (!thread_ || thread_->stuck())
        thread_ = std::make_shared<AudioThread>(QStringLiteral("sayri.audio"));
    if (uid.isEmpty())
        return std::make_unique<QtCaptureEngine>(thread_, QMediaDevices::defaultAudioInput());
    const QByteArray id = uid.toUtf8();
    for (const QAudioDevice& device : QMediaDevices::audioInputs())
        if (device.id() == id)
            return std::make_unique<QtCaptureEngine>(thread_, device);
    return nullptr;
}

double QtCaptureBackend::now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void QtCaptureBackend::sleep(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}
