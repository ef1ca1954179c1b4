#include "recognition/WhisperServer.h"

#include "platform/Processes.h"
#include "provision/ModelSetup.h"
#include "recognition/HTTP.h"
#include "recognition/Inference.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "store/Log.h"
#include "support/Graphemes.h"

#include <QFileInfo>

#include <chrono>
#include <thread>
#include <utility>

namespace {

const QString serverName = QStringLiteral("whisper-server");

void pause(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace

WhisperServer::Role WhisperServer::mainRole()
{
    return {[] { return quint16(Config::shared().whisperPort); }, [] { return Config::shared().whisperModelPath; },
            QStringLiteral("whisper-server.log"), serverName};
}

WhisperServer::WhisperServer(Processes& processes, std::function<QStringList()> hintTerms, Role role)
    : processes_(processes), hintTerms_(std::move(hintTerms)), role_(std::move(role))
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

bool WhisperServer::launchedServerRunning() const
{
    std::lock_guard lock(processMutex_);
    return process_ && process_->running();
}

std::shared_ptr<ChildProcess> WhisperServer::takeProcess()
{
    std::lock_guard lock(processMutex_);
    return std::exchange(process_, nullptr);
}

std::optional<qint64> WhisperServer::processId() const
{
    std::lock_guard lock(processMutex_);
    if (!process_)
        return std::nullopt;
    return process_->pid();
}

// Ends a whisper-server of this user left listening on the port (by an
// earlier run, or one that survived a stop). Whatever else holds the port is
// left alone and named in the log.
void WhisperServer::killStrayServer()
{
    const qint64 port = role_.port();
    if (HTTP::statusCode(healthUrl(), 0.6) == 0)
        return;

    const QList<PortListener> listeners = processes_.listenersOn(quint16(port));
    bool ended = false;
    for (const PortListener& l : listeners) {
        const bool isServer = l.executableName == serverName || l.commandName == serverName;
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
}

void WhisperServer::start(const QString& dictionary)
{
    killStrayServer();

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

    const QStringList arguments{
        QStringLiteral("-m"),     model,
        QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
        QStringLiteral("--port"), QString::number(role_.port()),
        QStringLiteral("-l"),     QStringLiteral("ja"),
    };
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

bool WhisperServer::waitHealthy(double seconds)
{
    const int attempts = int(seconds * 2);
    for (int i = 0; i < attempts; ++i) {
        HTTP::Request r;
        r.url = QUrl(healthUrl());
        r.timeout = 0.5;
        if (HTTP::request(r).status > 0)
            return true;
        // A server that was never launched, or that has already exited
        // (a model it cannot load, a busy port), will not answer: waiting
        // the rest of the time would only hold the dictation up.
        if (!launchedServerRunning())
            return false;
        pause(0.5);
    }
    return false;
}

std::optional<QString> WhisperServer::transcribe(const QByteArray& wav)
{
    if (!ensureAnswering())
        return std::nullopt;
    HTTP::Response reply = send(wav);
    // A server that died during the request (a crash, or ended from outside)
    // is brought back once and given the same recording, so the words are not
    // lost; a server that is still there has answered for itself.
    if (reply.status == 0 && HTTP::statusCode(healthUrl(), 1.5) == 0) {
        Log::write(QStringLiteral("文字起こしに失敗（HTTP 0）"));
        Log::write(QStringLiteral("文字起こしの途中でサーバーが止まったため、起動し直してもう一度送ります"));
        if (!ensureAnswering())
            return std::nullopt;
        reply = send(wav);
    }
    if (reply.status == 200 && reply.body)
        if (const std::optional<QString> text = Inference::replyText(*reply.body))
            return text->trimmed();
    Log::write(QStringLiteral("文字起こしに失敗（HTTP %1）").arg(reply.status));
    return std::nullopt;
}

bool WhisperServer::ensureAnswering()
{
    if (HTTP::statusCode(healthUrl(), 1.5) != 0)
        return true;
    start(Config::dictionaryLine());
    return waitHealthy(20);
}

HTTP::Response WhisperServer::send(const QByteArray& wav)
{
    const QByteArray boundary = Inference::newBoundary();
    const QStringList terms = hintTerms_ ? hintTerms_() : QStringList();
    const QString prompt = Config::hintLine(terms);
    HTTP::Request r;
    r.url = QUrl(baseUrl() + QStringLiteral("/inference"));
    r.method = "POST";
    r.headers = {{"Content-Type", "multipart/form-data; boundary=" + boundary}};
    r.body = Inference::formBody(wav, prompt, boundary);
    r.timeout = Inference::timeLimit(wav.size());
    if (!terms.isEmpty() && !prompt.isEmpty())
        Log::write(QStringLiteral("ヒント合成: 全%1字（うち画面の席を使用）").arg(Graphemes::count(prompt)));
    return HTTP::request(r);
}
