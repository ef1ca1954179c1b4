// Recognition's parts on real processes and loopback servers: the recognition
// server against the whisper-server stand-in, the live preview with the
// stand-in as its server, and setting the parts up (finding the model and the
// server program, the model download against a local file server).
#include "FakeCaptureBackend.h"
#include "Fakes.h"
#include "FileServer.h"
#include "LogFile.h"
#include "TestDataFolder.h"
#include "WhisperStandIn.h"

#include "app/AppState.h"
#include "audio/AudioRecorder.h"
#include "platform/linux/system/LinuxProcesses.h"
#include "preview/LivePreview.h"
#include "preview/PreviewModel.h"
#include "provision/ModelDownload.h"
#include "recognition/ComputePlan.h"
#include "recognition/HTTP.h"
#include "recognition/Inference.h"
#include "recognition/ServerCompute.h"
#include "recognition/WhisperServer.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "support/SerialQueue.h"

#include <QCryptographicHash>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <future>

using Route = FileServer::Route;

namespace {

LinuxProcesses processes;

// 'R' running, 'T' held still, 'Z' dead but not reaped, 0 gone; from /proc.
char stateOf(qint64 pid)
{
    const QByteArray text = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray state = text.mid(text.lastIndexOf(')') + 2, 1);
    return state.isEmpty() ? 0 : state == "Z" || state == "X" ? 'Z' : state == "T" ? 'T' : 'R';
}

// True once the process is dead (reaped too, when `reaped`).
bool ends(qint64 pid, double seconds, bool reaped = false)
{
    return QTest::qWaitFor([&] { return reaped ? stateOf(pid) == 0 : stateOf(pid) != 'R'; }, int(seconds * 1000));
}

QByteArray wavOfSeconds(double seconds)
{
    QByteArray pcm(qsizetype(seconds * 32000), Qt::Uninitialized);
    for (qsizetype i = 0; i < pcm.size(); ++i)
        pcm[i] = char((i * 7919) >> 3);
    return AudioRecorder::wav(pcm, 16000, 1);
}

// The form as the real server expects it, written out by hand.
QByteArray expectedForm(const QByteArray& wav, const QString& prompt, const QByteArray& b, const QByteArray& window)
{
    const auto part = [&b](const QByteArray& disposition, const QByteArray& content) {
        return "--" + b + "\r\nContent-Disposition: form-data; " + disposition + "\r\n\r\n" + content + "\r\n";
    };
    QByteArray f = part("name=\"file\"; filename=\"rec.wav\"\r\nContent-Type: audio/wav", wav)
                   + part("name=\"response_format\"", "json") + part("name=\"temperature\"", "0.0");
    if (!window.isEmpty())
        f += part("name=\"audio_ctx\"", window);
    if (!prompt.isEmpty())
        f += part("name=\"prompt\"", prompt.toUtf8());
    return f + "--" + b + "--\r\n";
}

// `seconds` of 16 kHz mono audio: a loud square wave, or silence.
QAudioBuffer audio(double seconds, bool loud)
{
    QByteArray pcm(qsizetype(seconds * 16000) * 2, '\0');
    auto* samples = reinterpret_cast<qint16*>(pcm.data());
    for (qsizetype i = 0; loud && i < pcm.size() / 2; ++i)
        samples[i] = (i / 20) % 2 ? 4000 : -4000;
    return QAudioBuffer(pcm, format(16000, 1));
}

const qint64 fileSize = 3 * 1048576 + 12345;
// A model file in the models folder, of the genuine size: recorded as
// verified, or torn (no record, zeros).
const qint64 verified = -2, torn = -3;
const qint64 half = fileSize / 2;
const QString failed = QStringLiteral("❌ 失敗しました。回線を確かめて、もう一度ボタンを押してください");
const QString resumable = failed + QStringLiteral("（途中のつづきから再開します）");
const QString wrong = QStringLiteral("❌ "
                                     "受け取ったデータが正しくありませんでした。安全のため取り消しました。もう一度ボタ"
                                     "ンを押すと、別の場所から取り寄せます");
const QString done = QStringLiteral("ダウンロード中… 3MB / 3MB（100%）");
const QString installed = QStringLiteral("モデルのダウンロード完了（指紋照合OK）: ");

QByteArray randomBytes(quint32 seed)
{
    QByteArray b(fileSize, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(b.data()), b.size() / 4);
    return b;
}

// A file of `size` bytes (sparse; -1: none).
void makeFile(const QString& path, qint64 size, QFile::Permissions extra = {})
{
    if (size < 0)
        return;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.resize(size);
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | extra);
}

bool run(const QString& args)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), args}) == 0;
}

}  // namespace

class TestRecognition : public QObject {
    Q_OBJECT

    // Every case: a fresh data folder, Sayri's settings pointed at a
    // whisper-server stand-in on a free port, and a file server.
    std::unique_ptr<TestDataFolder> data;
    std::unique_ptr<WhisperStandIn> standIn;
    quint16 port = 0;
    std::unique_ptr<FileServer> fileServer;
    const QByteArray file = randomBytes(1);
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex());
    QProgressBar bar;
    QLabel status;
    QPushButton button;
    QStringList shown;  // the live preview's texts
    // A worker thread without a Qt event loop, as Sayri's pipeline queue is;
    // it ends with the test object, while the application still exists.
    SerialQueue pipeline{QStringLiteral("sayri.pipeline")};

    // Runs `work` on the pipeline thread and waits for its result.
    template <class Work> auto onPipeline(Work work)
    {
        std::packaged_task<decltype(work())()> task(std::move(work));
        auto result = task.get_future();
        pipeline.async([&task] { task(); });
        return result.get();
    }

    static std::optional<QString> text(const char* t) { return QString::fromUtf8(t); }

    bool startHealthy(WhisperServer& whisper, const QString& dictionary = {})
    {
        return onPipeline([&] {
            whisper.start(dictionary);
            return whisper.waitHealthy(20);
        });
    }
    int inferences() const { return standIn->inferenceRequests().size(); }
    // The preview server, with the preview model in place (sparse, of the
    // genuine size, recorded as verified).
    std::shared_ptr<WhisperServer> previewServer()
    {
        writeFile(PreviewModel::path(), {});
        QFile::resize(PreviewModel::path(), PreviewModel::genuine.size);
        ModelSetup::recordFingerprint(PreviewModel::path(), PreviewModel::genuine.sha256);
        return std::make_shared<WhisperServer>(processes, std::function<QStringList()>(), LivePreview::serverRole());
    }
    // A preview started for a recording.
    std::unique_ptr<LivePreview> startPreview(LivePreviewBackend::Timing timing = {})
    {
        auto p = std::make_unique<LivePreview>(previewServer(), timing);
        p->onPartial = [this](const QString& t) { shown << t; };
        p->起動する(QString());
        return p;
    }

    ModelDownload::Target target(const QString& folder)
    {
        return {folder, "model.bin", {fileSize, hash.toUpper()}, {fileServer->url("/a"), fileServer->url("/b")}};
    }
    // One attempt to its end; the status text it ended with.
    QString attempt(ModelDownload& download)
    {
        QSignalSpy ended(&download, &ModelDownload::installed);
        QSignalSpy failedSpy(&download, &ModelDownload::failed);
        QLabel other;
        download.start(&bar, &status, &button);
        download.start(&bar, &other, &button);  // ignored while one runs
        [&] { QTRY_VERIFY_WITH_TIMEOUT(ended.size() + failedSpy.size() == 1, 20000); }();
        return other.text().isEmpty() ? status.text() : "second start not ignored";
    }
    QStringList files(const QString& folder) { return QDir(folder).entryList(QDir::Files); }

private Q_SLOTS:
    void init()
    {
        // The environment of the previous case is restored first.
        standIn.reset();
        data.reset();
        data = std::make_unique<TestDataFolder>();
        QDir().mkpath(data->path());
        standIn = std::make_unique<WhisperStandIn>();
        port = WhisperStandIn::freePort();
        standIn->configure(port);
        shown.clear();
        fileServer = std::make_unique<FileServer>();
        fileServer->setRoute("/b", Route{file});
        fileServer->setRoute("/c", Route{.block = file, .drops = {half}});
    }

    void startsStopsAndAppendsItsOutput()
    {
        data->writeText(QStringLiteral("whisper-server.log"), QStringLiteral("earlier run\n"));
        WhisperServer server(processes);
        QVERIFY(startHealthy(server));
        const QJsonObject start = standIn->starts().value(0);
        QCOMPARE(
            start.value(QStringLiteral("args")).toVariant().toStringList(),
            (QStringList{QStringLiteral("-m"), standIn->model(), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("--port"), QString::number(port), QStringLiteral("-l"), QStringLiteral("ja")}));
        const qint64 first = server.processId().value_or(0);
        QCOMPARE(start.value(QStringLiteral("pid")).toInteger(), first);
        // A stop sends exactly one request (a second would crash the real
        // server mid-inference): the process is let go of at once.
        server.stop();
        QVERIFY(!server.processId());
        QVERIFY2(ends(first, 5, true), "the stopped server is reaped");
        QVERIFY(startHealthy(server, QStringLiteral("サイリ、辞書。")));
        server.stop();

        // Nothing was listening before either start.
        QCOMPARE(logMessages(), (QStringList{QStringLiteral("whisper-server 起動（辞書なし・VADなし）"),
                                             QStringLiteral("whisper-server 起動（辞書あり・VADなし）")}));
        const QString output = data->readText(QStringLiteral("whisper-server.log"));
        QVERIFY(output.startsWith(QStringLiteral("earlier run\n")));
        QCOMPARE(output.count(QStringLiteral("listening at http://127.0.0.1:%1").arg(port)), 2);
    }

    void launchFailuresAreLoggedAndLeaveNoProcess()
    {
        const QString garbage = data->file(QStringLiteral("not-a-program"));
        data->writeText(QStringLiteral("not-a-program"), QStringLiteral("no program here\n"));
        QFile::setPermissions(garbage, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString missingModel = data->file(QStringLiteral("missing.bin"));
        WhisperServer server(processes);
        for (const auto& [binary, model] :
             {std::pair{QStringLiteral("/nonexistent/whisper-server"), standIn->model()},
              std::pair{standIn->binary(), missingModel}, std::pair{garbage, standIn->model()}}) {
            Config::edit([binary = binary, model = model](ConfigData& c) {
                c.whisperBinary = binary;
                c.whisperModelPath = model;
            });
            QVERIFY(!startHealthy(server));
            QVERIFY(!server.processId());
        }
        QCOMPARE(logMessages(),
                 (QStringList{QStringLiteral("whisper-server が見つかりません: /nonexistent/whisper-server"),
                              QStringLiteral("Whisperモデルが見つかりません: ") + missingModel,
                              QStringLiteral("whisper-server の起動に失敗: Exec format error")}));

        // The configured program is gone: the one the setup finds on PATH is launched.
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFileInfo(standIn->binary()).path().toUtf8());
        Config::edit([&](ConfigData& c) {
            c.whisperBinary = QStringLiteral("/nonexistent/whisper-server");
            c.whisperModelPath = standIn->model();
        });
        QVERIFY(startHealthy(server));
        server.stop();
        qputenv("PATH", oldPath);
    }

    // A stand-in named whisper-server on the port is a stray of Sayri's and is
    // ended; any other program is left alone and the new server cannot bind.
    void busyPort_data()
    {
        QTest::addColumn<bool>("stray");
        QTest::newRow("stray whisper-server") << true;
        QTest::newRow("another program") << false;
    }
    void busyPort()
    {
        QFETCH(bool, stray);
        const qint64 other = standIn->startServer(port, stray);
        QVERIFY(other > 0);
        WhisperServer server(processes);
        QTcpServer elsewhere;  // a socket of this process on another port is not counted
        QVERIFY(elsewhere.listen(QHostAddress::LocalHost));
        QCOMPARE(onPipeline([&] {
                     server.start({});
                     return stray && server.waitHealthy(20);
                 }),
                 stray);
        const qint64 launched = server.processId().value_or(0);
        QVERIFY(ends(stray ? other : launched, 10, !stray));
        QCOMPARE(stateOf(stray ? launched : other), 'R');
        QCOMPARE(standIn->starts().last().value(QStringLiteral("pid")).toInteger(), launched);
        const QString cleaned = QStringLiteral("ポート%1の古い認識サーバーを片付けました").arg(port);
        const QString leftAlone =
            QStringLiteral(
                "ポート%1を使っている whisper-standin（PID %2）はサイリの認識サーバーではないため、そのままにします")
                .arg(port)
                .arg(other);
        QCOMPARE(logMessages().filter(QStringLiteral("ポート")), QStringList{stray ? cleaned : leftAlone});
        server.stop();
    }

    // A whisper-server another running Sayri started (on another display of
    // this user) is neither ended nor doubled: it is used, audio included.
    void anotherSayrisServerIsShared()
    {
        const QString parent = data->file(QStringLiteral("sayri"));  // runs as "sayri"
        data->writeText(QStringLiteral("sayri"), QStringLiteral("#!/bin/sh\n\"$@\" &\nwait\n"));
        QFile::setPermissions(parent, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess other;
        other.start(parent, {standIn->binary(), "-m", standIn->model(), "--port", QString::number(port)});
        QVERIFY(QTest::qWaitFor(
            [&] {
                QTcpSocket s;
                s.connectToHost(QStringLiteral("127.0.0.1"), port);
                return s.waitForConnected(200);
            },
            10000));
        standIn->setReplies({QJsonObject{{QStringLiteral("text"), QStringLiteral("共有")}}});
        WhisperServer::Role own = WhisperServer::mainRole();
        own.ownServerOnly = true;
        WhisperServer server(processes, {}, own);
        QVERIFY(startHealthy(server));
        QCOMPARE(onPipeline([&] { return server.transcribe(wavOfSeconds(1)); }), text("共有"));
        QVERIFY(!server.processId());
        QCOMPARE(standIn->starts().size(), 1);
        QCOMPARE(logMessages(), QStringList{QStringLiteral("ポート%1の whisper-server はほかの画面で動くサイリのものなので、"
                                                           "それを使います")
                                                .arg(port)});
        ::kill(pid_t(standIn->starts().value(0).value("pid").toInteger()), SIGTERM);
        other.waitForFinished(5000);
    }

    // A server that never answers is given up on after the time limit plus
    // the grace period, and it is free for the next request afterwards.
    void hangingServerIsGivenUpOn()
    {
        standIn->setReplies(
            {QJsonObject{{QStringLiteral("hang"), true}}, QJsonObject{{QStringLiteral("text"), QStringLiteral("ok")}}});
        QVERIFY(standIn->startServer(port) > 0);
        HTTP::Request r;
        r.url = QUrl(QStringLiteral("http://127.0.0.1:%1/inference").arg(port));
        r.method = "POST";
        r.headers = {{"Content-Type", "multipart/form-data; boundary=x"}};
        r.body = Inference::formBody(wavOfSeconds(1), {}, "x");
        r.timeout = 0.3;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(onPipeline([&] { return HTTP::request(r); }).status, 0);
        QVERIFY(clock.elapsed() < 5300);
        QCOMPARE(onPipeline([&] { return HTTP::request(r); }).body, std::optional<QByteArray>(R"({"text":"ok"})"));
    }

    void requestOnTheWire_data()
    {
        QTest::addColumn<QStringList>("terms");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("timeLimit");  // a minute more than the recording, at least two
        QTest::addColumn<QByteArray>("window");  // 2 s more than the recording, at least 10 s; "": whole
        QTest::newRow("screen terms") << QStringList{QStringLiteral("サイリ"), QStringLiteral("Qt")} << 1.0 << 120.0
                                      << QByteArray("500");
        QTest::newRow("10 s") << QStringList{} << 10.0 << 120.0 << QByteArray("600");
        QTest::newRow("26 s") << QStringList{} << 26.0 << 120.0 << QByteArray("1400");
        QTest::newRow("27.5 s") << QStringList{} << 27.5 << 120.0 << QByteArray("1475");
        QTest::newRow("28 s") << QStringList{} << 28.0 << 120.0 << QByteArray();
        QTest::newRow("no terms, ten minutes") << QStringList{} << 600.0 << 660.0 << QByteArray();
    }
    void requestOnTheWire()
    {
        QFETCH(QStringList, terms);
        QFETCH(double, seconds);
        QFETCH(QByteArray, window);
        standIn->setReplies({QJsonObject{{QStringLiteral("text"), QStringLiteral("  こんにちは\n")}}});
        WhisperServer server(processes, [terms] { return terms; });
        const QByteArray wav = wavOfSeconds(seconds);
        QTEST(Inference::timeLimit(wav.size()), "timeLimit");
        // Nothing runs yet: the first transcription starts the server.
        for (int i = 0; i < 2; ++i)
            QCOMPARE(onPipeline([&] { return server.transcribe(wav); }), text("こんにちは"));
        server.stop();

        const QString prompt = Config::hintLine(terms);
        const QList<WhisperStandIn::Recorded> sent = standIn->inferenceRequests();
        QCOMPARE(sent.size(), 2);
        QByteArrayList boundaries;
        for (const WhisperStandIn::Recorded& r : sent) {
            const QByteArray type = r.header("Content-Type");
            QVERIFY(type.startsWith("multipart/form-data; boundary="));
            const QByteArray b = type.mid(type.indexOf('=') + 1);
            QCOMPARE(r.body, expectedForm(wav, prompt, b, window));
            boundaries << b;
        }
        QVERIFY(boundaries[0] != boundaries[1]);
        QCOMPARE(logMessages().filter(QStringLiteral("ヒント合成: 全")).size(),
                 !terms.isEmpty() && !prompt.isEmpty() ? 2 : 0);
    }

    // A server that cannot start, replies that give no text, a server that dies.
    void transcriptionFailures()
    {
        WhisperServer server(processes);
        const QByteArray wav = wavOfSeconds(29);  // the whole window: an empty answer stands
        const auto transcribe = [&] { return onPipeline([&] { return server.transcribe(wav); }); };

        // A model the server rejects: it exits at once, and nobody waits for it.
        data->writeText(QStringLiteral("empty.bin"), {});
        Config::edit([&](ConfigData& c) { c.whisperModelPath = data->file(QStringLiteral("empty.bin")); });
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!transcribe());
        QVERIFY2(waited.elapsed() < 10000, "a server that cannot come up is not waited for");
        standIn->configure(port);

        QJsonArray replies{QJsonObject{{QStringLiteral("text"), QString()}}};
        for (const char* body : {R"({"text": 5})", R"({"segments": []})", "not json", R"(["text"])"})
            replies << QJsonObject{{QStringLiteral("body"), QString::fromUtf8(body)}};
        replies << QJsonObject{{QStringLiteral("status"), 503}, {QStringLiteral("body"), QStringLiteral("busy")}};
        standIn->setReplies(replies);
        QCOMPARE(transcribe(), text(""));  // no speech is a success
        for (int i = 1; i < 6; ++i)
            QVERIFY(!transcribe());
        QCOMPARE(logMessages().count(QStringLiteral("文字起こしに失敗（HTTP 200）")), 4);
        QCOMPARE(logMessages().count(QStringLiteral("文字起こしに失敗（HTTP 503）")), 1);

        // Dies every time: one more try only.
        standIn->setReplies({QJsonObject{{QStringLiteral("exit"), 1}}});
        QVERIFY(!transcribe());
        QCOMPARE(standIn->starts().size(), 3);
        QCOMPARE(logMessages().count(QStringLiteral("文字起こしに失敗（HTTP 0）")), 2);

        standIn->setReplies({QJsonObject{{QStringLiteral("text"), QStringLiteral("次")}}});
        QCOMPARE(transcribe(), text("次"));
        const qint64 pid = server.processId().value_or(0);
        ::kill(pid_t(pid), SIGKILL);  // dies between dictations
        QVERIFY(ends(pid, 5));
        QCOMPARE(transcribe(), text("次"));
        server.stop();
        QCOMPARE(standIn->starts().size(), 5);
    }

    // An answer from the window sized to the recording that is empty or runs
    // away is asked for once more with the whole window, and that one stands.
    void sizedWindowAskedAgainWhole()
    {
        const auto reply = [](const QString& t) { return QJsonObject{{QStringLiteral("text"), t}}; };
        standIn->setReplies({reply(QStringLiteral(" はい").repeated(8)), reply(QStringLiteral("今日は")),
                             reply(QString()), reply(QString()), reply(QStringLiteral("明日"))});
        WhisperServer server(processes);
        const QByteArray wav = wavOfSeconds(3);
        QCOMPARE(onPipeline([&] { return server.transcribe(wav); }), text("今日は"));
        QCOMPARE(onPipeline([&] { return server.transcribe(wav); }), text(""));
        QCOMPARE(onPipeline([&] { return server.transcribe(wav); }), text("明日"));
        server.stop();
        QByteArrayList windows;
        for (const WhisperStandIn::Recorded& r : standIn->inferenceRequests())
            windows << r.contents.value(QStringLiteral("audio_ctx"));
        QCOMPARE(windows, (QByteArrayList{"500", "", "500", "", "500"}));
        const QStringList again = logMessages().filter(QStringLiteral("30秒の窓で認識し直します"));
        QCOMPARE(again, (QStringList{QStringLiteral("録音の長さに合わせた窓での答えが同じ言葉の繰り返しだった"
                                                    "ため、30秒の窓で認識し直します"),
                                     QStringLiteral("録音の長さに合わせた窓での答えが空だったため、30秒の窓で認識"
                                                    "し直します")}));
    }

    // The device and threads the servers get, from what the machine offers.
    void computePlan_data()
    {
        using K = GpuDevice::Kind;
        QTest::addColumn<QList<GpuDevice>>("gpus");
        QTest::addColumn<CpuInfo>("cpu");
        QTest::addColumn<QString>("plan");  // description, gpu index, preview threads
        const CpuInfo eight{8}, two{2};
        const GpuDevice llvmpipe{K::software, QStringLiteral("llvmpipe (LLVM 15.0.6, 256 bits)")};
        const GpuDevice uhd{K::integrated, QStringLiteral("Intel(R) UHD Graphics 620")};
        const GpuDevice rtx{K::discrete, QStringLiteral("NVIDIA GeForce RTX 3060")};
        QTest::newRow("none") << QList<GpuDevice>{} << two << "CPU・2スレッド 0 1";
        QTest::newRow("llvmpipe only") << QList{llvmpipe} << eight << "CPU・8スレッド 0 4";
        QTest::newRow("virtual only") << QList{GpuDevice{K::virtualGpu, "virgl"}} << CpuInfo{1} << "CPU・1スレッド 0 1";
        QTest::newRow("integrated and software")
            << QList{llvmpipe, uhd} << two << "GPU（Intel(R) UHD Graphics 620）・2スレッド 0 1";
        QTest::newRow("two GPUs: the card") << QList{uhd, llvmpipe, rtx} << eight
                                            << "GPU（NVIDIA GeForce RTX 3060）・8スレッド 1 4";
    }
    void computePlan()
    {
        QFETCH(QList<GpuDevice>, gpus);
        QFETCH(CpuInfo, cpu);
        const ComputePlan p = ComputePlan::choose(gpus, cpu);
        QTEST(QStringLiteral("%1 %2 %3").arg(p.description()).arg(p.gpuIndex).arg(p.previewThreads), "plan");
        QCOMPARE(p.withoutGpu().description(), QStringLiteral("CPU・%1スレッド").arg(cpu.physicalCores));
    }

    // The plan reaches the server's command line; a server
    // that ends while loading on the graphics device comes back at once on
    // the processor alone, and stays there.
    void gpuThatFailsIsLeftForTheProcessor()
    {
        auto machine = std::make_shared<FakeComputeDevices>();
        machine->devices = {{GpuDevice::Kind::integrated, QStringLiteral("UHD")},
                            {GpuDevice::Kind::discrete, QStringLiteral("RTX")}};
        machine->processor = {4};
        standIn->setScript({{QStringLiteral("gpuFails"), true}});
        WhisperServer server(processes, {}, WhisperServer::mainRole(), std::make_shared<ServerCompute>(machine));
        QVERIFY(startHealthy(server));
        QVERIFY(onPipeline([&] {
            server.restart({});
            return server.transcribe(wavOfSeconds(1));
        }));
        server.stop();
        QStringList starts;
        for (const QJsonObject& start : standIn->starts())
            starts << start.value(QStringLiteral("args")).toVariant().toStringList().mid(8).join(u' ');
        QCOMPARE(starts, (QStringList{"-t 4 -dev 1", "-t 4 -ng", "-t 4 -ng"}));
        QCOMPARE(logMessages().filter(QStringLiteral("GPU")),
                 (QStringList{QStringLiteral("認識サーバーの計算: GPU（RTX）・4スレッド"),
                              QStringLiteral("GPU で認識サーバーが動かなかったため、CPU だけで動かし直します（CPU・4スレッド）")}));
    }

    void volatileAndFinalTextCompose()
    {
        standIn->setReplies(QJsonArray{QJsonObject{{"text", "今日"}}, QJsonObject{{"text", "今日は"}},
                                       QJsonObject{{"text", " 今日は。\n"}}, QJsonObject{{"text", "いい"}}});
        auto preview = startPreview();
        // Each step is fed once the previous answer is shown: loud, loud,
        // a pause of 0.7 s (the answer becomes final), loud again.
        const QList<std::pair<QAudioBuffer, QString>> steps{{audio(0.5, true), "今日"},
                                                            {audio(0.5, true), "今日は"},
                                                            {audio(0.7, false), "今日は。"},
                                                            {audio(0.5, true), "今日は。いい"}};
        for (const auto& [buffer, expected] : steps) {
            LivePreview::feed(buffer);
            QTRY_COMPARE_WITH_TIMEOUT(shown.value(shown.size() - 1), expected, 10000);
        }
        QCOMPARE(shown, QStringList({"今日", "今日は", "今日は。", "今日は。いい"}));
        // The window covers the audio since the last final point only.
        QStringList contexts;
        for (const auto& r : standIn->inferenceRequests())
            contexts << r.contents.value("audio_ctx");
        QCOMPARE(contexts, QStringList({"25", "50", "85", "25"}));
        QCOMPARE(standIn->starts().first().value("args").toArray().at(5).toString(), QString::number(port + 1));
        preview->stop();
    }

    void deadRunsRestartFiveTimesCarryingFinalText()
    {
        // Every server answers its first request, then dies on the second.
        standIn->setReplies(QJsonArray{QJsonObject{{"text", "はい。"}}, QJsonObject{{"exit", 1}}});
        auto preview = startPreview();
        const QString giveUp =
            QStringLiteral("ライブ仮表示: 作り直しが5回を超えたので諦めます（録音と文字起こしには影響ありません）");
        // Pauses long enough that every answer is final.
        for (int i = 0; i < 300 && !logContains(giveUp); ++i) {
            LivePreview::feed(audio(0.7, false));
            QTest::qWait(100);
        }
        QVERIFY2(logContains(giveUp), qPrintable(logMessages().join('\n')));
        QVERIFY(logContains("ライブ仮表示: 作り直し 5 回目（確定文 15 字を引き継ぎ）"));
        QCOMPARE(shown.last(), QString("はい。").repeated(6));
        const int sent = inferences();
        LivePreview::feed(audio(1, false));
        QTest::qWait(700);
        QCOMPARE(inferences(), sent);
        // The next recording starts counting afresh.
        preview->stop();
        QCOMPARE(preview->再開回数, 0);
    }

    void oneRequestInFlightAndNothingAfterStop()
    {
        standIn->setReplies(
            QJsonArray{QJsonObject{{"text", "一"}, {"delay", 1.0}}, QJsonObject{{"text", "二"}, {"delay", 1.0}}});
        // Requests of a second's audio each, given up after two seconds.
        auto preview = startPreview({.step = 1});
        LivePreview::feed(audio(1, true));
        QTRY_COMPARE_WITH_TIMEOUT(inferences(), 1, 10000);
        // Audio coming while the server works waits for its answer.
        for (int i = 0; i < 5; ++i) {
            LivePreview::feed(audio(0.3, true));
            QTest::qWait(100);
        }
        QCOMPARE(inferences(), 1);
        QTRY_COMPARE(shown, QStringList{"一"});
        QTRY_COMPARE(inferences(), 2);
        QCOMPARE(standIn->inferenceRequests().last().contents.value("audio_ctx"), QByteArray("125"));
        preview->stop();
        QTest::qWait(1500);
        QCOMPARE(shown, QStringList{"一"});
        QVERIFY(!logContains(
            "ライブ仮表示の受信が途切れました（仮表示用の whisper-server から返事がありません）→ 作り直します"));
    }

    // A server slower than the speech, yet there: the grey text stops for
    // this recording, and the server is not taken for dead.
    void slowServerStopsThePreviewOnly()
    {
        standIn->setReplies(QJsonArray{QJsonObject{{"text", "遅い"}, {"delay", 3.0}}});
        auto preview = startPreview();
        LivePreview::feed(audio(0.5, true));
        QTRY_VERIFY_WITH_TIMEOUT(logContains("ライブ仮表示: 仮表示の認識が話す速さに追いつかないため、この録音では止めます"
                                             "（録音と文字起こしには影響ありません）"),
                                 30000);  // the preview server starts first
        LivePreview::feed(audio(1, true));
        QTest::qWait(700);
        QCOMPARE(inferences(), 1);
        QCOMPARE(standIn->starts().size(), 1);
        QVERIFY(shown.isEmpty());
        preview->stop();
    }

    // The preview's audio goes to the server Sayri started on the port after
    // the recognition server's, or nowhere.
    void previewOnlyToItsOwnServer()
    {
        Config::edit([](ConfigData& c) { c.whisperPort = 65535; });
        auto preview = startPreview();
        LivePreview::feed(audio(0.5, true));
        QTRY_VERIFY(logContains("仮表示用の whisper-server に使えるポートがありません（whisperPort の次の番号）"));
        preview.reset();
        QVERIFY(standIn->starts().isEmpty());

        standIn->configure(port);
        const qint64 other = standIn->startServer(port + 1, false);
        QVERIFY(other > 0);
        preview = startPreview();
        LivePreview::feed(audio(0.5, true));
        QTRY_VERIFY_WITH_TIMEOUT(logContains(QStringLiteral("ポート%1で応答しているのはサイリが起動した 仮表示用の "
                                                            "whisper-server ではないため、音を送りません")
                                                 .arg(port + 1)),
                                 20000);
        preview.reset();
        QCOMPARE(inferences(), 0);
        QCOMPARE(stateOf(other), 'R');
    }

    void finalRequestGoesAtOnceWhilePreviewWorks()
    {
        Config::bootstrap();
        standIn->setReplies(QJsonArray{QJsonObject{{"hang", true}}});
        auto fakes = std::make_unique<FakeServices>();
        fakes->server->replies << QStringLiteral("こんにちは");
        AppServices services = fakes->take();
        services.previewServer = previewServer();
        AppState app(std::move(services));
        app.optionTapped(100.0);
        app.optionTapped(100.3);
        LivePreview::feed(audio(5, true));
        QTRY_COMPARE_WITH_TIMEOUT(inferences(), 1, 10000);
        // The preview server, still at the request called off, is held
        // still while the final text is asked for, and let go on after.
        const qint64 preview = standIn->starts().value(0).value("pid").toInteger();
        char previewDuringFinal = 0;
        fakes->server->onTranscribe = [&] { previewDuringFinal = stateOf(preview); };
        QElapsedTimer clock;
        clock.start();
        app.stopAndProcess();
        QTRY_VERIFY(fakes->server->seen().join(' ').contains("transcribe:"));
        QCOMPARE_LT(clock.elapsed(), 1000);
        QTRY_COMPARE(fakes->paster->pasted, QStringList{"こんにちは"});
        QCOMPARE(previewDuringFinal, 'T');
        QTRY_COMPARE(stateOf(preview), 'R');
    }

    void find_data()
    {
        QTest::addColumn<QList<qint64>>("sizes");  // configured, models folder, default path
        QTest::addColumn<int>("found");            // which one, -1: none
        const qint64 big = ModelSetup::plausibleModelSize + 1, small = big - 1;
        QTest::newRow("configured first") << QList{big, verified, big} << 0;
        QTest::newRow("models folder next") << QList{small, verified, big} << 1;
        // The size of the model, but not its bytes (a power cut after the rename).
        QTest::newRow("a torn download is no model") << QList{-1LL, torn, big} << 2;
        QTest::newRow("none large enough") << QList{small, small, -1LL} << -1;
    }
    void find()
    {
        const QStringList paths{data->root() + "/mine/model.bin",
                                ModelSetup::modelsDir() + "/ggml-large-v3-turbo-q5_0.bin",
                                data->root() + "/.pomeru/models/ggml-large-v3-turbo-q5_0.bin"};
        Config::edit([&](ConfigData& c) { c.whisperModelPath = paths[0]; });
        QFETCH(QList<qint64>, sizes);
        for (int i = 0; i < 3; ++i)
            makeFile(paths[i], sizes[i] == torn || sizes[i] == verified ? ModelSetup::expectedSize : sizes[i]);
        if (sizes[1] == verified)
            ModelSetup::recordFingerprint(paths[1], ModelSetup::expectedSHA256);
        QFETCH(int, found);
        for (int i = 0; i < 2; ++i)  // hashed once: the second look reads the record
            QCOMPARE(ModelSetup::find(), found < 0 ? std::nullopt : std::optional(paths[found]));
        QCOMPARE(logMessages().filter("中身が正しくない").size(), sizes[1] == torn ? 1 : 0);
    }

    // The program and the model are found, then recorded in the settings.
    void findBinaryAndSave()
    {
        const QString root = data->root();
        const auto program = [&root](const QString& folder, bool executable) {
            const QString path = root + folder + "/whisper-server";
            makeFile(path, 10, executable ? QFile::ExeOwner : QFile::Permissions());
            return path;
        };
        const QString plain = program("/plain", false);
        QDir().mkpath(root + "/folder/whisper-server");
        const QString first = program("/first", true);
        const QString second = program("/second", true);
        program("/relative-bin", true);
        const QString oldFolder = QDir::currentPath();
        const QByteArray oldPath = qgetenv("PATH");
        QDir::setCurrent(root);
        qputenv("PATH", QStringLiteral("relative-bin:%1/plain:%1/folder::%1/first:%1/second").arg(root).toUtf8());

        // Neither a plain file, a folder nor a relative PATH entry counts.
        Config::edit([&](ConfigData& c) {
            c.whisperBinary = plain;
            c.whisperModelPath.clear();  // not the stand-in's: nothing is found yet
        });
        QCOMPARE(ModelSetup::findBinary(), std::optional<QString>(first));
        // The configured program comes first.
        Config::edit([&](ConfigData& c) { c.whisperBinary = second; });
        QCOMPARE(ModelSetup::findBinary(), std::optional<QString>(second));
        QDir::setCurrent(oldFolder);
        qputenv("PATH", oldPath);

        const QString model = ModelSetup::modelsDir() + "/ggml-large-v3-turbo-q5_0.bin";
        QVERIFY(!ModelSetup::resolveAndSave());
        QVERIFY(!QFile::exists(data->file("config.json")));
        makeFile(model, ModelSetup::expectedSize);
        ModelSetup::recordFingerprint(model, ModelSetup::expectedSHA256);
        QVERIFY(ModelSetup::resolveAndSave());
        QCOMPARE(logMessages(), QStringList{QStringLiteral("認識の部品を設定: モデル=%1・本体=%2").arg(model, second)});
        QCOMPARE(ConfigData::decode(data->readText("config.json").toUtf8())->whisperModelPath, model);
        // Unchanged: nothing is written or logged.
        QFile::remove(data->file("config.json"));
        QVERIFY(ModelSetup::resolveAndSave());
        QVERIFY(!QFile::exists(data->file("config.json")));
        QCOMPARE(logMessages().size(), 1);
    }

    void outcomes_data()
    {
        QTest::addColumn<Route>("a");
        QTest::addColumn<QStringList>("texts");     // the status after each attempt
        QTest::addColumn<QStringList>("requests");  // repeats of one request counted once
        QTest::addColumn<int>("urlIndex");
        QTest::addColumn<QString>("logLine");
        const QString r = "/a bytes=N1-";  // Nk: the partial file's size after the k-th resumable failure
        const QStringList ab{"/a", "/b"};
        QTest::newRow("whole") << Route{file} << QStringList{done} << QStringList{"/a"} << 0 << installed;
        QTest::newRow("dropped, resumed") << Route{.block = file, .drops = {half}} << QStringList{resumable, done}
                                          << QStringList{"/a", r} << 0 << installed;
        QTest::newRow("range ignored") << Route{.block = file, .ignoreRange = true, .drops = {half}}
                                       << QStringList{resumable, done} << QStringList{"/a", r} << 0 << installed;
        QTest::newRow("redirected, resumed") << Route{.redirect = "/c"} << QStringList{resumable, done}
                                             << QStringList{"/a", "/c", r, "/c bytes=N1-"} << 0 << installed;
        QTest::newRow("file changed meanwhile")
            << Route{.block = file, .changingTag = true, .drops = {half}} << QStringList{resumable, done}
            << QStringList{"/a", r, "/a"} << 0 << installed;
        QTest::newRow("a resume that yields nothing")
            << Route{.block = file, .drops = {half / 2, half / 2, 0}}
            << QStringList{resumable, resumable, resumable, done} << QStringList{"/a", r, "/a bytes=N2-"} << 0
            << installed;
        QTest::newRow("404") << Route{.block = "not here", .status = 404} << QStringList{failed, done} << ab << 1
                             << "モデルのダウンロードに失敗: HTTP 404・受信8バイト";
        QTest::newRow("too short") << Route{file.left(half)} << QStringList{failed, done} << ab << 1
                                   << QStringLiteral("モデルのダウンロードに失敗: HTTP 200・受信%1バイト").arg(half);
        QTest::newRow("wrong bytes") << Route{randomBytes(2)} << QStringList{wrong, done} << ab << 1
                                     << "⚠️ "
                                        "モデルの指紋が一致しません（受け取ったものを破棄・別の置き場に切り替え）";
        QTest::newRow("too long") << Route{file + "x"} << QStringList{wrong, done} << ab << 1 << installed;
        QTest::newRow("no length") << Route{.block = file, .noLength = true} << QStringList{"ダウンロード中… 3MB"}
                                   << QStringList{"/a"} << 0 << installed;
        QTest::newRow("redirect loop") << Route{.redirect = "/a"} << QStringList{failed, done} << ab << 1 << installed;
    }
    void outcomes()
    {
        QFETCH(Route, a);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, requests);
        QFETCH(QString, logLine);
        fileServer->setRoute("/a", a);
        const QString folder = ModelSetup::modelsDir();
        ModelDownload download(target(folder));
        QStringList seen;
        for (int resumed = 0; seen.size() < texts.size();) {
            seen << attempt(download);
            QCOMPARE(download.hasResumeData(), seen.last() == resumable);
            if (download.hasResumeData())
                requests.replaceInStrings(QStringLiteral("=N%1-").arg(++resumed),
                                          QStringLiteral("=%1-").arg(QFileInfo(folder + "/model.bin.part").size()));
        }
        QCOMPARE(seen, texts);
        QCOMPARE(button.text(), texts.size() > 1 ? "もう一度ダウンロード" : button.text());
        QStringList asked = fileServer->requests();
        asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
        QCOMPARE(asked, requests);
        QTEST(download.urlIndex(), "urlIndex");
        QVERIFY(logContains(logLine) || logContains(logLine + folder + "/model.bin"));
        QVERIFY(readFile(folder + "/model.bin") == file);
        QCOMPARE(files(folder), (QStringList{"model.bin", "model.bin.sha256"}));
        QVERIFY(ModelSetup::verifiedDownload(folder + "/model.bin", {fileSize, hash}));
        QCOMPARE(bar.value(), texts.last() == done ? bar.maximum() : 0);
    }

    // Offline, a busy or failing server, a page that is gone: the bytes
    // received so far stay for the next press, with the location they came
    // from, until the server says its file changed.
    void partialKeptUntilTheServerSaysTheFileChanged()
    {
        const QString part = ModelSetup::modelsDir() + "/model.bin.part";
        ModelDownload download(target(ModelSetup::modelsDir()));
        fileServer->setRoute("/a", Route{.block = file, .drops = {half}});
        QCOMPARE(attempt(download), resumable);
        const QByteArray kept = readFile(part);
        QVERIFY(!kept.isEmpty());
        fileServer->close();
        QCOMPARE(attempt(download), resumable);
        QCOMPARE(readFile(part), kept);
        fileServer->reopen();
        for (const int status : {503, 429, 404}) {
            fileServer->setRoute("/a", Route{.block = "not now", .status = status});
            QCOMPARE(attempt(download), resumable);
            QCOMPARE(readFile(part), kept);
        }
        QCOMPARE(download.urlIndex(), 0);
        fileServer->setRoute("/a", Route{.block = file});
        QCOMPARE(attempt(download), done);
        QCOMPARE(fileServer->requests().last(), QStringLiteral("/a bytes=%1-").arg(kept.size()));
        QVERIFY(readFile(ModelSetup::modelsDir() + "/model.bin") == file);
    }

    // A partial file is held while its Sayri may resume it: another Sayri
    // starting meanwhile does not remove it, however long it has been idle,
    // and does not download into it; one nobody holds goes.
    void partialHeldByAnotherSayriIsLeftAlone()
    {
        const QString part = ModelSetup::modelsDir() + "/model.bin.part";
        const auto idle = [&] {
            QFile f(part);
            return f.open(QIODevice::ReadWrite)
                   && f.setFileTime(QDateTime::currentDateTime().addSecs(-600), QFileDevice::FileModificationTime);
        };
        fileServer->setRoute("/a", Route{.block = file, .drops = {half}});
        auto first = std::make_unique<ModelDownload>(target(ModelSetup::modelsDir()));
        QCOMPARE(attempt(*first), resumable);
        const QByteArray kept = readFile(part);
        QVERIFY(idle());
        ModelSetup::removeLeftoverPartials();
        QCOMPARE(readFile(part), kept);

        ModelDownload second(target(ModelSetup::modelsDir()));
        QSignalSpy refused(&second, &ModelDownload::failed);
        second.start(&bar, &status, &button);
        QCOMPARE(refused.size(), 1);
        QVERIFY(status.text().startsWith("❌ 別のサイリが同じモデルをダウンロードしています"));
        QCOMPARE(readFile(part), kept);
        QCOMPARE(fileServer->requests(), QStringList{"/a"});

        first.reset();  // quits: its partial file goes with it
        QVERIFY(!QFile::exists(part));
        QVERIFY(QFile(part).open(QIODevice::WriteOnly) && idle());
        ModelSetup::removeLeftoverPartials();
        QVERIFY(!QFile::exists(part));
    }

    // Where the file cannot be saved: the failure text, and nothing left.
    void saveFaults()
    {
        const QString folder = data->root() + "/small";
        fileServer->setRoute("/a", Route{file});
        const auto check = [&](const QString& error) {
            ModelDownload download(target(folder));
            QCOMPARE(attempt(download), "❌ 保存に失敗しました: " + error);
            QCOMPARE(files(folder), QStringList{});
            QCOMPARE(download.urlIndex(), 0);
            QVERIFY(logContains("モデルのダウンロードに失敗: " + error));
        };
        // A folder holds the model's name: the verified bytes are kept, and
        // the next attempt only puts them in place.
        QDir().mkpath(folder + "/model.bin/taken");
        {
            ModelDownload download(target(folder));
            QCOMPARE(attempt(download), "❌ 保存に失敗しました: Is a directory"
                                        "（受け取ったデータは残してあり、もう一度押すと保存だけやり直します）");
            QCOMPARE(files(folder), (QStringList{"model.bin.part", "model.bin.part.lock"}));
            QDir(folder + "/model.bin").removeRecursively();
            QCOMPARE(attempt(download), "保存しています…");
            QCOMPARE(files(folder), (QStringList{"model.bin", "model.bin.sha256"}));
            QCOMPARE(fileServer->requests(), QStringList{"/a"});
        }
        if (!run("mount -t tmpfs -o size=1m tmpfs " + folder))
            QSKIP("cannot mount a small file system here");
        const auto unmount = qScopeGuard([&] { run("umount " + folder); });
        check("No space left on device");
        run("mount -o remount,ro " + folder);
        check("Read-only file system");
    }
};

QTEST_MAIN(TestRecognition)
#include "tst_Recognition.moc"
