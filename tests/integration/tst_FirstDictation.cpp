// The first complete dictation, driven as a user would: the built Sayri in a
// real desktop session, a double tap of Alt on the keyboard, speech played into
// the virtual microphone, one more tap — and the text arrives in the focused
// window (a cancel by Escape is the controller's and the key tests'). Then the
// faults a user's machine hands Sayri during dictations: the server killed
// while it works, the microphone unplugged while recording, a full disk, and
// Sayri itself killed.
#include "LogFile.h"
#include "PasteTarget.h"
#include "TestDataFolder.h"
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

#include <QRegularExpression>

#include <csignal>
#include <unistd.h>

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

QByteArray readAll(const QString& name)
{
    return readFile(Config::file(name));
}

QJsonArray history()
{
    return QJsonDocument::fromJson(readAll(QStringLiteral("history.json"))).array();
}

// Runs a command given as words separated by spaces; its output, when it succeeds.
std::optional<QString> run(const QString& command)
{
    QStringList args = command.split(u' ');
    QProcess p;
    p.start(args.takeFirst(), args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// True once the process has ended (reaped or not).
bool gone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

}  // namespace

class TestFirstDictation : public QObject {
    Q_OBJECT

    std::unique_ptr<WhisperStandIn> standIn;
    QProcess app;
    bool dataOnTmpfs = false;
    XTestKeys keys{XTestKeys::physicalKeyboard};

    // Taps of Alt as a hand makes them, each held for a moment.
    void taps(int count)
    {
        for (int i = 0; i < count; ++i) {
            keys.down("Alt_L");
            QTest::qWait(60);
            keys.up("Alt_L");
            QTest::qWait(150);
        }
    }

    int recordings() const { return logMessages().join(u'\n').count(QStringLiteral("録音開始")); }

    // A whole dictation into a fresh target window; with `logged`, once the
    // log says that recording started.
    bool dictate(PasteTarget& target, bool logged = true)
    {
        const int before = recordings();
        if (!target.start())
            return false;
        taps(2);
        if (logged && !QTest::qWaitFor([&] { return recordings() > before; }, 5000))
            return false;
        if (!logged)
            QTest::qWait(800);
        const bool spoke = speak();
        taps(1);
        return spoke;
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
        // A data folder of its own file system, to turn read-only later.
        dataOnTmpfs =
            ::geteuid() == 0 && run(QStringLiteral("mount -t tmpfs -o size=16m tmpfs ") + Config::dataFolder());
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
        if (dataOnTmpfs)
            run(QStringLiteral("umount ") + Config::dataFolder());
    }

    // The window has a menu bar, which a lone Alt tap would open.
    void dictationLandsInTheFocusedWindow()
    {
        QVERIFY(keys.isOpen());
        PasteTarget target({.windowClass = {}, .instance = {}, .menuBar = true});
        QVERIFY(dictate(target));
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 15000);
        keys.down("Alt_L");
        keys.tap("f");
        keys.up("Alt_L");
        QTRY_COMPARE(target.keys(), (QStringList{QStringLiteral("Ctrl+V"), QStringLiteral("File menu")}));

        QCOMPARE(history().size(), 1);  // what it holds is the controller's unit test's

        // The recognition server received the recorded speech as a WAV.
        const auto requests = standIn->inferenceRequests();
        QCOMPARE(requests.size(), 1);
        const QByteArray wav = requests[0].contents.value(QStringLiteral("file"));
        QVERIFY(wav.startsWith("RIFF"));
        QVERIFY2(wav.size() > 44 + 32000, "at least a second of audio");
    }

    void serverKilledWhileTranscribing()
    {
        PasteTarget target;
        const int requests = standIn->inferenceRequests().size();
        const int stored = history().size();
        standIn->setReplies({QJsonObject{{QStringLiteral("hang"), true}}});
        QVERIFY(dictate(target));
        QTRY_COMPARE_WITH_TIMEOUT(standIn->inferenceRequests().size(), requests + 1, 10000);
        standIn->setReplies(QJsonArray{QJsonObject{{QStringLiteral("text"), reply}}});
        ::kill(pid_t(standIn->starts().last()[QStringLiteral("pid")].toInteger()), SIGKILL);

        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 20000);
        QCOMPARE(history().size(), stored + 1);
        QVERIFY(logMessages().join(u'\n').contains(QStringLiteral("起動し直してもう一度送ります")));
    }

    // Unplugged while recording: the dictation ends as any other (the sound
    // server moves the recording to the microphone that is left), and the
    // next one works.
    void microphoneRemovedWhileRecording()
    {
        // A second microphone, made the default.
        const QString module =
            run(QStringLiteral("pactl load-module module-remap-source master=vsink.monitor source_name=vmic2"))
                .value_or(QString());
        QVERIFY(!module.isEmpty() && run(QStringLiteral("pactl set-default-source vmic2")));
        PasteTarget target;
        const int before = recordings();
        const int stops = logMessages().count(QStringLiteral("録音を止めて文字起こしに入ります"));
        QVERIFY(target.start());
        taps(2);
        QTRY_VERIFY_WITH_TIMEOUT(recordings() > before, 5000);
        QVERIFY(run(QStringLiteral("pactl set-default-source vmic")));
        QVERIFY(run(QStringLiteral("pactl unload-module ") + module));
        QTest::qWait(500);
        taps(1);
        QTRY_COMPARE_WITH_TIMEOUT(logMessages().count(QStringLiteral("録音を止めて文字起こしに入ります")), stops + 1,
                                  5000);
        QTest::qWait(2500);  // whatever it heard has been handled
        QCOMPARE(app.state(), QProcess::Running);

        PasteTarget again;
        QVERIFY(dictate(again));
        QTRY_COMPARE_WITH_TIMEOUT(again.text(), pasted, 15000);
    }

    // The data folder full, or turned read-only (a read-only bind mount over
    // it: the server's log held open there keeps the file system itself from
    // being remounted): the text still arrives and nothing stored is damaged.
    void dataFolderUnwritable_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("full") << false;
        QTest::newRow("read-only") << true;
    }
    void dataFolderUnwritable()
    {
        QFETCH(bool, readOnly);
        if (!dataOnTmpfs)
            QSKIP("mounting a file system for the data folder needs root");
        const QByteArray stored = readAll(QStringLiteral("history.json"));
        const QByteArray settings = readAll(QStringLiteral("config.json"));
        const QString folder = Config::dataFolder();
        QFile filler(Config::file(QStringLiteral("filler")));
        if (readOnly) {
            QVERIFY(run(QStringLiteral("mount --bind %1 %1").arg(folder)));
            QVERIFY(run(QStringLiteral("mount -o remount,bind,ro ") + folder));
        } else {
            QVERIFY(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(65536, 0)) > 0 && filler.flush()) {}
        }
        PasteTarget target;
        QVERIFY(dictate(target, false));  // the log cannot say when recording starts now
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 15000);
        QCOMPARE(readAll(QStringLiteral("history.json")), stored);
        QCOMPARE(readAll(QStringLiteral("config.json")), settings);
        if (readOnly)
            QVERIFY(run(QStringLiteral("umount -l ") + folder));
        else
            filler.remove();
    }

    // Last: Sayri killed outright takes its server with it and leaves no
    // half-written file behind.
    void killedSayriLeavesNothingBehind()
    {
        const qint64 server = standIn->starts().last()[QStringLiteral("pid")].toInteger();
        QVERIFY(!gone(server));
        ::kill(pid_t(app.processId()), SIGKILL);
        QVERIFY(app.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(gone(server), 1000);
        const QStringList files = QDir(Config::dataFolder()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(files.filter(QRegularExpression(QStringLiteral("\\.[A-Za-z0-9]{6}$"))).isEmpty(),
                 qPrintable(files.join(u' ')));
        QVERIFY(!history().isEmpty());
        QVERIFY(QJsonDocument::fromJson(readAll(QStringLiteral("config.json"))).isObject());
    }
};

QTEST_MAIN(TestFirstDictation)
#include "tst_FirstDictation.moc"
