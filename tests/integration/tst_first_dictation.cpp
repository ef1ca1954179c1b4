// The first complete dictation, driven as a user would: the built Sayri in a
// real desktop session, a double tap of Alt on the keyboard, speech played into
// the virtual microphone, one more tap — and the text arrives in the focused
// window. Then the same with Escape: nothing arrives, nothing is stored.
#include "LogFile.h"
#include "PasteTarget.h"
#include "WhisperStandIn.h"
#include "XTestKeys.h"

#include "store/Config.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>

namespace {

const QString reply = QStringLiteral("今日は晴れです。ご視聴ありがとうございました");
const QString pasted = QStringLiteral("今日は晴れです。");

QString speechFile()
{
    return QDir::homePath() + QStringLiteral("/speech.wav");
}

// Plays the speech into the virtual microphone and waits until it has played.
bool speak()
{
    return QProcess::execute(QStringLiteral("paplay"), {QStringLiteral("--device=vsink"), speechFile()}) == 0;
}

QString clipboard()
{
    QProcess p;
    p.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    p.waitForFinished(3000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QJsonArray history()
{
    QFile f(Config::file(QStringLiteral("history.json")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).array();
}

}  // namespace

class FirstDictationTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WhisperStandIn> standIn;
    QProcess app;

    // Taps of Alt as a hand makes them, each held for a moment.
    void taps(XTestKeys& keys, int count)
    {
        for (int i = 0; i < count; ++i) {
            keys.down("Alt_L");
            QTest::qWait(60);
            keys.up("Alt_L");
            QTest::qWait(150);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        QCOMPARE(QProcess::execute(QStringLiteral("espeak-ng"),
                                   {QStringLiteral("-v"), QStringLiteral("ja"), QStringLiteral("-w"), speechFile(),
                                    QStringLiteral("今日は晴れです。明日も晴れるでしょう。")}),
                 0);

        QDir().mkpath(Config::dataFolder());
        Config::bootstrap();
        standIn = std::make_unique<WhisperStandIn>();
        standIn->configure(WhisperStandIn::freePort());
        Config::save();
        standIn->setReplies(QJsonArray{QJsonObject{{QStringLiteral("text"), reply}}});

        // A login-item launch opens no window that would take the focus.
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(SAYRI_APP_PATH), {QStringLiteral("--login-item")});
        QVERIFY(app.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logContains(QStringLiteral("キー監視を開始")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!standIn->starts().isEmpty(), 10000);
    }

    void cleanupTestCase()
    {
        if (app.state() != QProcess::NotRunning) {
            ::kill(pid_t(app.processId()), SIGTERM);
            app.waitForFinished(10000);
        }
        standIn.reset();
    }

    // The window has a menu bar, which a lone Alt tap would open.
    void dictationLandsInTheFocusedWindow()
    {
        PasteTarget target({.windowClass = {}, .instance = {}, .lineEdit = false, .menuBar = true});
        QVERIFY(target.start());
        XTestKeys keys(XTestKeys::physicalKeyboard);
        QVERIFY(keys.isOpen());

        taps(keys, 2);
        QTRY_VERIFY_WITH_TIMEOUT(logMessages().join(u'\n').contains(QStringLiteral("録音開始")), 5000);
        QVERIFY(speak());
        taps(keys, 1);

        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 15000);
        QCOMPARE(clipboard(), pasted);
        keys.down("Alt_L");
        keys.tap("f");
        keys.up("Alt_L");
        QTRY_COMPARE(target.keys(), (QStringList{QStringLiteral("Ctrl+V"), QStringLiteral("File menu")}));

        const QJsonArray entries = history();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0][QStringLiteral("raw")].toString(), reply);
        QCOMPARE(entries[0][QStringLiteral("text")].toString(), pasted);
        QCOMPARE(entries[0][QStringLiteral("mode")].toString(), QStringLiteral("文字起こし"));

        const QStringList log = logMessages();
        QVERIFY(log.contains(QStringLiteral("キー: 録音キーが押されました（状態=待機中）")));
        QVERIFY(log.contains(QStringLiteral("キー: 録音キーが押されました（状態=録音中）")));
        QVERIFY(log.contains(QStringLiteral("録音を止めて文字起こしに入ります")));
        QVERIFY(log.contains(QStringLiteral("貼り付けます（8字）")));

        // The recognition server received the recorded speech as a WAV.
        const auto requests = standIn->inferenceRequests();
        QCOMPARE(requests.size(), 1);
        const QByteArray wav = requests[0].contents.value(QStringLiteral("file"));
        QVERIFY(wav.startsWith("RIFF"));
        QVERIFY2(wav.size() > 44 + 32000, "at least a second of audio");
    }

    void escapeCancels()
    {
        PasteTarget target;
        QVERIFY(target.start());
        XTestKeys keys(XTestKeys::physicalKeyboard);
        const int requestsBefore = standIn->inferenceRequests().size();
        const int recordingsBefore = logMessages().join(u'\n').count(QStringLiteral("録音開始"));

        taps(keys, 2);
        QTRY_COMPARE_WITH_TIMEOUT(logMessages().join(u'\n').count(QStringLiteral("録音開始")), recordingsBefore + 1, 5000);
        QVERIFY(speak());
        keys.tap("Escape");

        QTest::qWait(2000);
        QCOMPARE(target.text(), QString());
        QCOMPARE(standIn->inferenceRequests().size(), requestsBefore);
        QCOMPARE(history().size(), 1);
        QVERIFY(target.keys().contains(QStringLiteral("Esc")));  // the window still got its key
    }
};

QTEST_MAIN(FirstDictationTest)
#include "tst_first_dictation.moc"
