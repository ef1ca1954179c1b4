#include "recognition/WhisperServer.h"

#include "platform/Processes.h"
#include "provision/ModelSetup.h"
#include "recognition/HTTP.h"
#include "recognition/Inference.h"
#include "recognition/ServerCompute.h"
#include "recognition/Transcript.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "store/Log.h"
#include "support/Graphemes.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace {

const QString serverName = QStringLiteral("whisper-server");

// Sayri's recognition server, run by this user: the one this object launched,
// or one another running Sayri launched (on another display of the same user).
bool sayrisServer(const PortListener& l, std::optional<qint64> launched)
{
    const bool isServer = l.executableName == serverName || l.commandName == serverName;
    return l.pid == launched
           || (isServer && l.sameUser && l.parentCommandName == QLatin1String("sayri")
               && l.parentPid != QCoreApplication::applicationPid());
}

void pause(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace

WhisperServer::Role WhisperServer::mainRole()
{
    return {[] { return quint16(Config::shared().whisperPort); }, [] { return Config::shared().whisperModelPath; },
            QStringLiteral("whisper-server.log"), serverName, [](const ComputePlan& plan) { return plan.threads; }};
}

WhisperServer::WhisperServer(Processes& processes, std::function<QStringList()> hintTerms, Role role,
                             std::shared_ptr<ServerCompute> compute)
    : processes_(processes), hintTerms_(std::move(hintTerms)), role_(std::move(role)), compute_(std::move(compute))
{
}

QString WhisperServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(role_.port());
}

QString WhisperServer::healthUrl() const
{
    return baseUrl() + u'/';
}

WhisperServer::~WhisperServer() = default;

std::shared_ptr<ChildProcess> WhisperServer::launched() const
{
    std::lock_guard lock(processMutex_);
    return process_;
}

bool WhisperServer::launchedServerRunning() const
{
    const std::shared_ptr<ChildProcess> process = launched();
    return process && process->running();
}

bool WhisperServer::launchedOnGpu() const
{
    std::lock_guard lock(processMutex_);
    return process_ && onGpu_;
}

QString WhisperServer::lastDictionary() const
{
    std::lock_guard lock(processMutex_);
    return dictionary_;
}

// Sayri's own server holds the port: the one launched here or another Sayri's.
bool WhisperServer::sayrisServerListens()
{
    const std::shared_ptr<ChildProcess> process = launched();
    const std::optional<qint64> pid =
        process && process->running() ? std::optional(process->pid()) : std::nullopt;
    const QList<PortListener> listeners = processes_.listenersOn(role_.port());
    return std::any_of(listeners.cbegin(), listeners.cend(),
                       [pid](const PortListener& l) { return sayrisServer(l, pid); });
}

std::shared_ptr<ChildProcess> WhisperServer::takeProcess()
{
    std::lock_guard lock(processMutex_);
    return std::exchange(process_, nullptr);
}

std::optional<qint64> WhisperServer::processId() const
{
    const std::shared_ptr<ChildProcess> process = launched();
    if (!process)
        return std::nullopt;
    return process->pid();
}

// Ends a whisper-server of this user left listening on the port (by an
// earlier run, or one that survived a stop). The server of another Sayri that
// runs (on another display of this user) is shared: true then. Whatever else
// holds the port is left alone and named in the log.
bool WhisperServer::killStrayServer()
{
    const qint64 port = role_.port();
    if (HTTP::statusCode(healthUrl(), 0.6) == 0)
        return false;

    const QList<PortListener> listeners = processes_.listenersOn(quint16(port));
    bool ended = false;
    for (const PortListener& l : listeners) {
        const bool isServer = l.executableName == serverName || l.commandName == serverName;
        if (sayrisServer(l, std::nullopt)) {
            Log::write(QStringLiteral("ポート%1の %2 はほかの画面で動くサイリのものなので、それを使います")
                           .arg(port)
                           .arg(role_.name));
            return true;
        }
        if (isServer && l.sameUser) {
            ended = processes_.forceEnd(l.pid) || ended;
            continue;
        }
        const QString name = l.commandName.isEmpty() ? l.executableName : l.commandName;
        Log::write(
            QStringLiteral("ポート%1を使っている %2（PID %3）はサイリの認識サーバーではないため、そのままにします")
                .arg(port)
                .arg(name)
                .arg(l.pid));
    }
    if (listeners.isEmpty())
        Log::write(QStringLiteral("ポート%1で応答しているプログラムが見つからないため、そのままにします").arg(port));
    if (ended) {
        pause(0.4);
        Log::write(QStringLiteral("ポート%1の古い認識サーバーを片付けました").arg(port));
    }
    return false;
}

void WhisperServer::start(const QString& dictionary)
{
    if (killStrayServer())
        return;

    const ConfigData config = Config::shared();
    // The program the setup found is the program launched.
    const std::optional<QString> program = ModelSetup::findBinary();
    if (!program) {
        Log::write(role_.name + QStringLiteral(" が見つかりません: ") + config.whisperBinary);
        return;
    }
    const QString model = role_.model();
    if (!QFileInfo::exists(model)) {
        Log::write(QStringLiteral("Whisperモデルが見つかりません: ") + model);
        return;
    }

    QStringList arguments{
        QStringLiteral("-m"),     model,
        QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
        QStringLiteral("--port"), QString::number(role_.port()),
        QStringLiteral("-l"),     QStringLiteral("ja"),
    };
    bool gpu = false;
    if (compute_) {
        const ComputePlan plan = compute_->plan();
        arguments << QStringLiteral("-t") << QString::number(role_.threads(plan));
        if (plan.gpu && plan.gpuIndex > 0)
            arguments << QStringLiteral("-dev") << QString::number(plan.gpuIndex);
        if (!plan.gpu)
            arguments << QStringLiteral("-ng");
        gpu = plan.gpu;
    }
    const std::unique_ptr<QFile> output = Log::handle(role_.outputLog);
    const ChildProcess::Launch launched = processes_.launch(*program, arguments, *output);
    if (!launched.process) {
        Log::write(role_.name + QStringLiteral(" の起動に失敗: ") + launched.error);
        return;
    }
    {
        // A server launched before is replaced, not terminated.
        std::lock_guard lock(processMutex_);
        process_ = launched.process;
        onGpu_ = gpu;
        dictionary_ = dictionary;
    }
    const auto yesNo = [](bool b) { return b ? QStringLiteral("あり") : QStringLiteral("なし"); };
    Log::write(role_.name
               + QStringLiteral(" 起動（辞書%1・VAD%2）")
                     .arg(yesNo(!dictionary.isEmpty()), yesNo(arguments.contains(QStringLiteral("--vad")))));
}

void WhisperServer::restart(const QString& dictionary)
{
    stop();
    pause(0.3);
    start(dictionary);
    waitHealthy(20);
}

void WhisperServer::stop()
{
    // Exactly one request: a second one would crash the real server in the
    // middle of an inference.
    if (const std::shared_ptr<ChildProcess> process = takeProcess())
        process->terminate();
}

void WhisperServer::suspend()
{
    if (const std::shared_ptr<ChildProcess> process = launched())
        process->suspend();
}

void WhisperServer::resume()
{
    if (const std::shared_ptr<ChildProcess> process = launched())
        process->resume();
}

bool WhisperServer::waitHealthy(double seconds)
{
    const int attempts = int(seconds * 2);
    for (int i = 0; i < attempts; ++i) {
        HTTP::Request r;
        r.url = QUrl(healthUrl());
        r.timeout = 0.5;
        if (HTTP::request(r).status > 0)
            return true;
        if (!launchedServerRunning()) {
            // Ended while loading on the graphics device: once more on the
            // processor alone, which the plan now says.
            if (launchedOnGpu()) {
                compute_->gpuFailed();
                start(lastDictionary());
                continue;
            }
            // A server that was never launched, or that has already exited
            // (a model it cannot load, a busy port), will not answer: waiting
            // the rest of the time would only hold the dictation up.
            return false;
        }
        pause(0.5);
    }
    return false;
}

std::optional<QString> WhisperServer::transcribe(const QByteArray& wav)
{
    if (!ensureAnswering())
        return std::nullopt;
    const std::optional<int> window = Inference::encoderWindow(wav.size());
    std::optional<QString> text = recognise(wav, window);
    if (window && text && (text->isEmpty() || Transcript::runsAway(*text))) {
        Log::write(QStringLiteral("録音の長さに合わせた窓での答えが%1ため、30秒の窓で認識し直します")
                       .arg(text->isEmpty() ? QStringLiteral("空だった") : QStringLiteral("同じ言葉の繰り返しだった")));
        text = recognise(wav, std::nullopt);
    }
    return text;
}

std::optional<QString> WhisperServer::recognise(const QByteArray& wav, std::optional<int> window)
{
    HTTP::Response reply = send(wav, window);
    // A server that died during the request (a crash, or ended from outside)
    // is brought back once and given the same recording, so the words are not
    // lost; a server that is still there has answered for itself. One that
    // used the graphics device comes back on the processor alone.
    if (reply.status == 0 && !answers()) {
        Log::write(QStringLiteral("文字起こしに失敗（HTTP 0）"));
        Log::write(QStringLiteral("文字起こしの途中でサーバーが止まったため、起動し直してもう一度送ります"));
        if (launchedOnGpu())
            compute_->gpuFailed();
        if (!ensureAnswering())
            return std::nullopt;
        reply = send(wav, window);
    }
    if (reply.status == 200 && reply.body)
        if (const std::optional<QString> text = Inference::replyText(*reply.body))
            return text->trimmed();
    Log::write(QStringLiteral("文字起こしに失敗（HTTP %1）").arg(reply.status));
    return std::nullopt;
}

bool WhisperServer::answers() const
{
    return HTTP::statusCode(healthUrl(), 1.5) != 0;
}

bool WhisperServer::ensureAnswering()
{
    const quint16 port = role_.port();
    if (port == 0) {
        Log::write(role_.name + QStringLiteral(" に使えるポートがありません（whisperPort の次の番号）"));
        return false;
    }
    if (!answers()) {
        start(Config::dictionaryLine());
        if (!waitHealthy(20))
            return false;
    }
    if (!role_.ownServerOnly || sayrisServerListens())
        return true;
    // Something answers that Sayri did not launch: a stray server of Sayri's
    // own is ended by the start; another program keeps the port.
    if (!launchedServerRunning()) {
        start(Config::dictionaryLine());
        if (waitHealthy(20) && sayrisServerListens())
            return true;
    }
    stop();
    Log::write(QStringLiteral("ポート%1で応答しているのはサイリが起動した %2 ではないため、音を送りません")
                   .arg(port)
                   .arg(role_.name));
    return false;
}

HTTP::Response WhisperServer::send(const QByteArray& wav, std::optional<int> window)
{
    const QByteArray boundary = Inference::newBoundary();
    const QStringList terms = hintTerms_ ? hintTerms_() : QStringList();
    const QString prompt = Config::hintLine(terms);
    HTTP::Request r;
    r.url = QUrl(baseUrl() + QStringLiteral("/inference"));
    r.method = "POST";
    r.headers = {{"Content-Type", "multipart/form-data; boundary=" + boundary}};
    QList<std::pair<QByteArray, QByteArray>> fields;
    if (window)
        fields.append({"audio_ctx", QByteArray::number(*window)});
    r.body = Inference::formBody(wav, prompt, boundary, fields);
    r.timeout = Inference::timeLimit(wav.size());
    if (!terms.isEmpty() && !prompt.isEmpty())
        Log::write(QStringLiteral("ヒント合成: 全%1字（うち画面の席を使用）").arg(Graphemes::count(prompt)));
    return HTTP::request(r);
}
