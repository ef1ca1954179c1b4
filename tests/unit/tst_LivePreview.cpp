// The live preview against the whisper-server stand-in playing the preview
// server: composition of volatile and final text, restarts, dropped answers,
// one request at a time, and a final transcription never held up by it.
#include "FakeCaptureBackend.h"
#include "Fakes.h"
#include "LogFile.h"
#include "StandInFixture.h"

#include "app/AppState.h"
#include "platform/linux/LinuxProcesses.h"
#include "preview/LivePreview.h"
#include "preview/PreviewModel.h"
#include "store/Config.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace {

LinuxProcesses processes;

// `seconds` of 16 kHz mono audio: a loud square wave, or silence.
QAudioBuffer audio(double seconds, bool loud)
{
    QByteArray pcm(qsizetype(seconds * 16000) * 2, '\0');
    auto* samples = reinterpret_cast<qint16*>(pcm.data());
    for (qsizetype i = 0; loud && i < pcm.size() / 2; ++i)
        samples[i] = (i / 20) % 2 ? 4000 : -4000;
    return QAudioBuffer(pcm, format(16000, 1));
}

struct Fixture : StandInFixture {
    QStringList shown;
    Fixture()
    {
        writeFile(PreviewModel::path(), {});  // sparse, of the genuine size
        QFile::resize(PreviewModel::path(), PreviewModel::genuine.size);
    }
    std::shared_ptr<WhisperServer> server()
    {
        return std::make_shared<WhisperServer>(processes, std::function<QStringList()>(), LivePreview::serverRole());
    }
    // A preview started for a recording.
    std::unique_ptr<LivePreview> preview()
    {
        auto p = std::make_unique<LivePreview>(server());
        p->onPartial = [this](const QString& t) { shown << t; };
        p->起動する(QString());
        return p;
    }
    int inferences() const { return standIn.inferenceRequests().size(); }
};

}  // namespace

class TestLivePreview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void volatileAndFinalTextCompose()
    {
        Fixture f;
        f.standIn.setReplies(QJsonArray{QJsonObject{{"text", "今日"}}, QJsonObject{{"text", "今日は"}},
                                        QJsonObject{{"text", " 今日は。\n"}}, QJsonObject{{"text", "いい"}}});
        QVERIFY(LivePreview::available() && LivePreview::authorized());
        auto preview = f.preview();
        // Each step is fed once the previous answer is shown: loud, loud,
        // a pause of 0.7 s (the answer becomes final), loud again.
        const QList<std::pair<QAudioBuffer, QString>> steps{{audio(0.5, true), "今日"},
                                                            {audio(0.5, true), "今日は"},
                                                            {audio(0.7, false), "今日は。"},
                                                            {audio(0.5, true), "今日は。いい"}};
        for (const auto& [buffer, expected] : steps) {
            LivePreview::feed(buffer);
            QTRY_COMPARE_WITH_TIMEOUT(f.shown.value(f.shown.size() - 1), expected, 10000);
        }
        QCOMPARE(f.shown, QStringList({"今日", "今日は", "今日は。", "今日は。いい"}));
        // The window covers the audio since the last final point only.
        QStringList contexts;
        for (const auto& r : f.standIn.inferenceRequests())
            contexts << r.contents.value("audio_ctx");
        QCOMPARE(contexts, QStringList({"25", "50", "85", "25"}));
        QCOMPARE(f.standIn.starts().first().value("args").toArray().at(5).toString(), QString::number(f.port + 1));
        preview->stop();
    }

    void deadRunsRestartFiveTimesCarryingFinalText()
    {
        Fixture f;
        // Every server answers its first request, then dies on the second.
        f.standIn.setReplies(QJsonArray{QJsonObject{{"text", "はい。"}}, QJsonObject{{"exit", 1}}});
        auto preview = f.preview();
        const QString giveUp =
            QStringLiteral("ライブ仮表示: 作り直しが5回を超えたので諦めます（録音と文字起こしには影響ありません）");
        // Pauses long enough that every answer is final.
        for (int i = 0; i < 300 && !logContains(giveUp); ++i) {
            LivePreview::feed(audio(0.7, false));
            QTest::qWait(100);
        }
        QVERIFY2(logContains(giveUp), qPrintable(logMessages().join('\n')));
        QVERIFY(logContains("ライブ仮表示: 作り直し 5 回目（確定文 15 字を引き継ぎ）"));
        QCOMPARE(f.shown.last(), QString("はい。").repeated(6));
        const int sent = f.inferences();
        LivePreview::feed(audio(1, false));
        QTest::qWait(700);
        QCOMPARE(f.inferences(), sent);
        // The next recording starts counting afresh.
        preview->stop();
        QCOMPARE(preview->再開回数, 0);
    }

    void oneRequestInFlightAndNothingAfterStop()
    {
        Fixture f;
        f.standIn.setReplies(
            QJsonArray{QJsonObject{{"text", "一"}, {"delay", 1.0}}, QJsonObject{{"text", "二"}, {"delay", 1.0}}});
        auto preview = f.preview();
        LivePreview::feed(audio(0.5, true));
        QTRY_COMPARE_WITH_TIMEOUT(f.inferences(), 1, 10000);
        // Audio coming while the server works waits for its answer.
        for (int i = 0; i < 5; ++i) {
            LivePreview::feed(audio(0.3, true));
            QTest::qWait(100);
        }
        QCOMPARE(f.inferences(), 1);
        QTRY_COMPARE(f.shown, QStringList{"一"});
        QTRY_COMPARE(f.inferences(), 2);
        QCOMPARE(f.standIn.inferenceRequests().last().contents.value("audio_ctx"), QByteArray("100"));
        preview->stop();
        QTest::qWait(1500);
        QCOMPARE(f.shown, QStringList{"一"});
        QVERIFY(!logContains(
            "ライブ仮表示の受信が途切れました（仮表示用の whisper-server から返事がありません）→ 作り直します"));
    }

    void finalRequestGoesAtOnceWhilePreviewWorks()
    {
        Fixture f;
        Config::bootstrap();
        f.standIn.configure(f.port);
        f.standIn.setReplies(QJsonArray{QJsonObject{{"hang", true}}});
        auto fakes = std::make_unique<FakeServices>();
        fakes->server->replies << QStringLiteral("こんにちは");
        AppServices services = fakes->take();
        services.previewServer = f.server();
        AppState app(std::move(services));
        app.optionTapped(100.0);
        app.optionTapped(100.3);
        LivePreview::feed(audio(0.6, true));
        QTRY_COMPARE_WITH_TIMEOUT(f.inferences(), 1, 10000);
        QElapsedTimer clock;
        clock.start();
        app.stopAndProcess();
        QTRY_VERIFY(fakes->server->seen().join(' ').contains("transcribe:"));
        QCOMPARE_LT(clock.elapsed(), 1000);
        QTRY_COMPARE(fakes->paster->pasted, QStringList{"こんにちは"});
    }
};

QTEST_MAIN(TestLivePreview)
#include "tst_LivePreview.moc"
