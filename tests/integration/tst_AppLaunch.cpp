// The built Sayri in a real desktop session, in this order:
// - its launch: tray icon and its menu, single instance, termination by
//   signal, a Wayland session, and the setup window on a real window manager
//   (which window a launch opens and what the setup window's steps do are the
//   unit tests');
// - the first complete dictation, driven as a user would: a double tap of Alt
//   on the keyboard, speech played into the virtual microphone, one more tap,
//   and the text arrives in the focused window (a cancel by Escape is the
//   controller's and the key tests');
// - the faults a user's machine hands Sayri during dictations: the server
//   killed while it works, the microphone unplugged while recording, a full
//   disk; the live preview on screen; and Sayri itself killed.
#include "DesktopProbe.h"
#include "LogFile.h"
#include "RunningSayri.h"

#include "platform/PlatformWords.h"
#include "preview/PreviewModel.h"
#include "store/Config.h"
#include "ui/OverlayGeometry.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScreen>
#include <QtTest>

#include <csignal>
#include <unistd.h>

using DesktopProbe::run;

namespace {

const QString setupTitle = QStringLiteral("サイリ はじめの準備");

bool hasWindow(const QString& title)
{
    return DesktopProbe::windowTitles(QStringLiteral("Sayri")).contains(title);
}

// Gives the window of that title the keyboard focus (it may be a new X window
// by now, or become one while Sayri lays it out); true once it is active.
bool focus(const QString& title)
{
    return QTest::qWaitFor(
        [&] {
            QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                          QStringLiteral("--name"), QStringLiteral("^%1$").arg(title),
                                                          QStringLiteral("windowactivate"), QStringLiteral("--sync")});
            return DesktopProbe::run(QStringLiteral("xdotool getactivewindow getwindowname")) == title;
        },
        5000);
}

const QString reply = QStringLiteral("今日は晴れです。ご視聴ありがとうございました");
const QString pasted = QStringLiteral("今日は晴れです。");

QByteArray readAll(const QString& name)
{
    return readFile(Config::file(name));
}

QJsonArray history()
{
    return QJsonDocument::fromJson(readAll(QStringLiteral("history.json"))).array();
}

// True once the process has ended (reaped or not).
bool gone(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
}

// The grey of the darkest pixel: 255 where nothing is drawn.
int darkest(const QImage& image)
{
    int grey = 255;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            grey = qMin(grey, qGray(image.pixel(x, y)));
    return grey;
}

}  // namespace

class TestAppLaunch : public QObject {
    Q_OBJECT

    RunningSayri sayri;
    WhisperStandIn& standIn = sayri.standIn;
    bool dataOnTmpfs = false;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        QVERIFY(!QFile::exists(Config::dataFolder()));
    }

    void cleanupTestCase()
    {
        if (sayri.app.state() != QProcess::NotRunning)
            sayri.terminate();
        if (dataOnTmpfs)
            run(QStringLiteral("umount ") + Config::dataFolder());
    }

    void launchSecondLaunchAndTerminate()
    {
        sayri.launch();
        QTRY_VERIFY_WITH_TIMEOUT(DesktopProbe::trayIconCentre(QStringLiteral("Sayri")), 10000);
        QTRY_VERIFY(logContains(QStringLiteral("サイリ起動")));

        // No model here, so setup comes first and no settings window opens.
        QTRY_VERIFY(hasWindow(setupTitle));
        QTRY_VERIFY(!logMessages().filter(QStringLiteral("はじめの準備: 窓の高さ 必要=")).isEmpty());
        QVERIFY(!hasWindow(QStringLiteral("サイリ")));

        // The window manager's close (Alt+F4 in openbox) brings it back, and
        // it still takes the keyboard: "準備をはじめる" moves on.
        const QString refused = QStringLiteral("はじめの準備: 窓は閉じられません（最後のボタンで終わります）");
        const auto stepsShown = [] { return logMessages().filter(QStringLiteral(" を表示　")).size(); };
        const qsizetype steps = stepsShown();
        QVERIFY(focus(setupTitle));
        DesktopProbe::run(QStringLiteral("xdotool key alt+F4"));
        QTRY_VERIFY(logContains(refused));
        QTest::qWait(1000);  // the window comes back as a new X window
        QTRY_VERIFY(hasWindow(setupTitle));
        QCOMPARE(logMessages().count(refused), 1);
        QVERIFY(focus(setupTitle));
        DesktopProbe::run(QStringLiteral("xdotool key Return"));
        QTRY_VERIFY(stepsShown() > steps);

        // A second launch hands over to the first and ends.
        QProcess second;
        second.start(RunningSayri::path());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY(hasWindow(QStringLiteral("サイリ")));
        QCOMPARE(sayri.app.state(), QProcess::Running);
        QCOMPARE(logMessages().count(QStringLiteral("サイリ起動")), 1);

        // Closed, the settings window comes back from the tray icon's menu.
        QVERIFY(focus(QStringLiteral("サイリ")));
        DesktopProbe::run(QStringLiteral("xdotool key ctrl+w"));
        QTRY_VERIFY(!hasWindow(QStringLiteral("サイリ")));
        const std::optional<QPoint> tray = DesktopProbe::trayIconCentre(QStringLiteral("Sayri"));
        QVERIFY(tray);
        DesktopProbe::run(
            QStringLiteral("xdotool mousemove %1 %2 click 3 sleep 0.6 key Down Return").arg(tray->x()).arg(tray->y()));
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(QStringLiteral("サイリ")), 5000);

        QVERIFY(sayri.terminate());
        QCOMPARE(logMessages().last(), QStringLiteral("サイリ終了"));
    }

    // A Wayland session (naming a compositor that is not there, and asking Qt
    // for a platform it lacks): Sayri runs on the X display and says why it
    // does not listen to keys; with no X display at all it says so and ends.
    void waylandSession()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-nowhere"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        RunningSayri wayland;
        wayland.app.setProcessEnvironment(env);
        wayland.launch();
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(setupTitle), 10000);
        QTRY_VERIFY(logContains(QStringLiteral("Wayland のセッションです。")
                                + PlatformWords::keySourceAdvice().join(QString())));
        QVERIFY(wayland.terminate());

        env.remove(QStringLiteral("DISPLAY"));
        wayland.app.setProcessEnvironment(env);
        wayland.app.setProcessChannelMode(QProcess::SeparateChannels);
        wayland.launch();
        QVERIFY(wayland.app.waitForFinished(10000));
        QVERIFY(wayland.app.exitStatus() == QProcess::NormalExit && wayland.app.exitCode() == 1);
        QVERIFY(QString::fromUtf8(wayland.app.readAllStandardError()).contains(QStringLiteral("X11 のセッション")));
    }
    // Sayri started as at login on the stand-in server, a data folder of its
    // own file system (to turn read-only later) where mounting is allowed.
    void startsListening()
    {
        QDir().mkpath(Config::dataFolder());
        dataOnTmpfs =
            ::geteuid() == 0 && run(QStringLiteral("mount -t tmpfs -o size=16m tmpfs ") + Config::dataFolder());
        standIn.setReplies(QJsonArray{QJsonObject{{QStringLiteral("text"), reply}}});
        QVERIFY(sayri.startListening());
    }

    // The window has a menu bar, which a lone Alt tap would open.
    void dictationLandsInTheFocusedWindow()
    {
        QVERIFY(sayri.keys.isOpen());
        PasteTarget target(true);
        QVERIFY(sayri.dictate(target));
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 15000);
        sayri.keys.down("Alt_L");
        sayri.keys.tap("f");
        sayri.keys.up("Alt_L");
        QTRY_COMPARE(target.keys(), (QStringList{QStringLiteral("Ctrl+V"), QStringLiteral("File menu")}));

        QCOMPARE(history().size(), 1);  // what it holds is the controller's unit test's

        // The recognition server received the recorded speech as a WAV.
        const auto requests = standIn.inferenceRequests();
        QCOMPARE(requests.size(), 1);
        const QByteArray wav = requests[0].contents.value(QStringLiteral("file"));
        QVERIFY2(wav.size() > 44 + 32000, "at least a second of audio");
    }

    void serverKilledWhileTranscribing()
    {
        PasteTarget target;
        const int requests = standIn.inferenceRequests().size();
        const int stored = history().size();
        standIn.setReplies({QJsonObject{{QStringLiteral("hang"), true}}});
        QVERIFY(sayri.dictate(target));
        QTRY_COMPARE_WITH_TIMEOUT(standIn.inferenceRequests().size(), requests + 1, 10000);
        standIn.setReplies(QJsonArray{QJsonObject{{QStringLiteral("text"), reply}}});
        ::kill(pid_t(standIn.starts().last()[QStringLiteral("pid")].toInteger()), SIGKILL);

        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 20000);
        QCOMPARE(history().size(), stored + 1);
        QVERIFY(logMessages().join(u'\n').contains(QStringLiteral("起動し直してもう一度送ります")));
    }

    // Unplugged while recording: the sound server moves the recording to the
    // microphone that is left, which hears the speech.
    void microphoneRemovedWhileRecording()
    {
        // A second microphone, made the default.
        const QString module =
            run(QStringLiteral("pactl load-module module-remap-source master=vsink.monitor source_name=vmic2"))
                .value_or(QString());
        QVERIFY(!module.isEmpty() && run(QStringLiteral("pactl set-default-source vmic2")));
        PasteTarget target;
        QVERIFY(sayri.dictate(target, true, [&] {
            run(QStringLiteral("pactl set-default-source vmic"));
            run(QStringLiteral("pactl unload-module ") + module);
            QTest::qWait(500);
        }));
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 15000);
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
        QVERIFY(sayri.dictate(target, false));  // the log cannot say when recording starts now
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 15000);
        QCOMPARE(readAll(QStringLiteral("history.json")), stored);
        QCOMPARE(readAll(QStringLiteral("config.json")), settings);
        if (readOnly)
            QVERIFY(run(QStringLiteral("umount -l ") + folder));
        else
            filler.remove();
    }

    // Sayri started again with the preview model in place, the stand-in
    // playing both servers (recognition on the port, preview on the next):
    // while the user speaks the bar's grey text changes on screen; the text
    // pasted is asked of the recognition server alone.
    void livePreviewWhileSpeaking()
    {
        namespace G = OverlayGeometry;
        QVERIFY(sayri.terminate());
        QDir().mkpath(ModelSetup::modelsDir());
        QFile model(PreviewModel::path());  // sparse: the stand-in never reads it
        QVERIFY(model.open(QIODevice::WriteOnly) && model.resize(PreviewModel::genuine.size));
        QJsonArray preview;
        for (const char* text : {"今日", "今日は晴れ", "今日は晴れです。明日", "今日は晴れです。明日も"})
            preview << QJsonObject{{"text", text}};
        standIn.setScript(
            {{"replies", QJsonArray{QJsonObject{{"text", RunningSayri::spoken}}}}, {"previewReplies", preview}});
        QVERIFY(sayri.startListening());
        const qsizetype earlier = standIn.inferenceRequests().size();
        const int before = sayri.recordings();
        PasteTarget target;
        QVERIFY(target.start());
        sayri.taps(2);
        std::optional<QRect> bar;
        QTRY_VERIFY_WITH_TIMEOUT(
            (bar = DesktopProbe::windowOfSize(QStringLiteral("Sayri"), QSize(G::barWidth, G::barHeight)))
                && sayri.recordings() > before,
            5000);

        QProcess speaking;
        speaking.start(QStringLiteral("paplay"), {QStringLiteral("--device=vsink"), sayri.speechFile()});
        // Each different text the bar shows while the user speaks (and after,
        // while the preview catches up under load).
        QList<QImage> seen;
        for (QDeadlineTimer limit(20000);
             (speaking.state() == QProcess::Running || seen.size() < 2) && !limit.hasExpired(); QTest::qWait(100)) {
            const QRect r = G::liveFrame(G::barHeight).translated(bar->topLeft());
            const QImage now =
                QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
            if (const int grey = darkest(now); grey < 255 && !seen.contains(now)) {
                QVERIFY2(grey > 120, "the provisional text is grey, not ink");
                seen << now;
            }
        }
        QVERIFY2(seen.size() >= 2, qPrintable(logMessages().join(u'\n')));
        sayri.taps(1);

        QTRY_COMPARE_WITH_TIMEOUT(target.text(), RunningSayri::spoken, 15000);
        QStringList finals;
        for (const auto& r : standIn.inferenceRequests().mid(earlier))
            if (!r.contents.contains(QStringLiteral("audio_ctx")))
                finals << r.header("host");
        QCOMPARE(finals, QStringList{QStringLiteral("127.0.0.1:%1").arg(Config::shared().whisperPort)});
    }

    // Last: Sayri killed outright takes its server with it and leaves no
    // half-written file behind.
    void killedSayriLeavesNothingBehind()
    {
        const qint64 server = standIn.starts().last()[QStringLiteral("pid")].toInteger();
        QVERIFY(!gone(server));
        ::kill(pid_t(sayri.app.processId()), SIGKILL);
        QVERIFY(sayri.app.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(gone(server), 1000);
        const QStringList files = QDir(Config::dataFolder()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(files.filter(QRegularExpression(QStringLiteral("\\.[A-Za-z0-9]{6}$"))).isEmpty(),
                 qPrintable(files.join(u' ')));
        QVERIFY(!history().isEmpty());
        QVERIFY(QJsonDocument::fromJson(readAll(QStringLiteral("config.json"))).isObject());
    }
};

QTEST_MAIN(TestAppLaunch)
#include "tst_AppLaunch.moc"
