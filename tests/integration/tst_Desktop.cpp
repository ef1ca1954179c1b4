// Sayri on a real desktop (X server, PulseAudio, the accessibility bus), in
// this order: the built app's launch; the first complete dictation driven as a
// user would (a double tap of Alt on the keyboard, speech played into the
// virtual microphone, one more tap, the text in the focused window); the
// faults a user's machine hands it during dictations; then its parts in this
// process: the trigger key through XTest and XInput2, pasting into real windows
// and terminals, the recording bar, the dictionary table dragged with the
// pointer, the recorder on PulseAudio, and hints over the accessibility bus.
#include "AccessibleControls.h"
#include "DesktopProbe.h"
#include "FileServer.h"
#include "LogFile.h"
#include "PasteTarget.h"
#include "RunningSayri.h"
#include "SampleDocument.h"
#include "TestDataFolder.h"
#include "XTestKeys.h"

#include "audio/AudioRecorder.h"
#include "desktop/HotkeyManager.h"
#include "desktop/Paster.h"
#include "desktop/ScreenContext.h"
#include "platform/PlatformWords.h"
#include "platform/linux/atspi/AtspiTree.h"
#include "platform/linux/pulse/PulseAudioInputs.h"
#include "platform/linux/pulse/PulseCapture.h"
#include "platform/linux/x11/X11FrontmostApp.h"
#include "platform/linux/x11/X11InjectedKeys.h"
#include "platform/linux/x11/X11KeySource.h"
#include "platform/linux/x11/X11KeySynthesizer.h"
#include "preview/PreviewModel.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "store/Log.h"
#include "support/Uptime.h"
#include "ui/DictionaryTable.h"
#include "ui/Overlay.h"
#include "ui/OverlayGeometry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListView>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <numeric>
#include <unistd.h>

using DesktopProbe::accessibilityEnabled;
using DesktopProbe::run;
using namespace Qt::StringLiterals;

namespace {

bool xdotool(const QString& args)
{
    return bool(run(u"xdotool "_s + args));
}

void moveMouse(QPoint p)
{
    xdotool(u"mousemove %1 %2"_s.arg(p.x()).arg(p.y()));
}

// The top-level window the pointer is over, as the X server picks it (input
// shapes included): the bar itself, an application's frame.
quint64 underPointer()
{
    const QString shell = run(u"xdotool getmouselocation --shell"_s).value_or(QString());
    return shell.section(u"WINDOW="_s, 1).section(u'\n', 0, 0).toULongLong();
}

bool isViewable(quint64 window)
{
    return run(u"xwininfo -id %1"_s.arg(window)).value_or(QString()).contains(u"Map State: IsViewable"_s);
}

std::unique_ptr<Paster> makePaster()
{
    return std::make_unique<Paster>(std::make_unique<X11FrontmostApp>(), std::make_unique<X11KeySynthesizer>());
}

struct Listener {
    explicit Listener(const QString& trigger) : manager(std::make_unique<X11KeySource>(), TriggerKey::find(trigger))
    {
        manager.onTap = [this](double t) { taps.append(t); };
        manager.onEsc = [this] { ++escapes; };
        manager.start();
    }
    HotkeyManager manager;
    QList<double> taps;
    int escapes = 0;
};

// Plays a little script of key actions: "down KEY", "up KEY", "tap KEY",
// "wait MS", "layout XKB-OPTION" (the keyboard layout changed while the
// listener listens), "trigger ID" (then chosen). Keys are named as the
// usual layout names them, before a layout line changes it.
void play(XTestKeys& keys, Listener& listener, const QStringList& script)
{
    QList<int> codes;
    for (const QString& line : script)
        codes << keys.keycodeOf(line.section(u' ', 1).toLatin1().constData());
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QString verb = script[i].section(u' ', 0, 0), argument = script[i].section(u' ', 1);
        if (verb == QLatin1String("wait")) {
            QTest::qWait(argument.toInt());
        } else if (verb == QLatin1String("layout")) {
            QProcess::execute(u"setxkbmap"_s, {u"-option"_s, QString(), u"-option"_s, argument});
            QTest::qWait(200);  // the key source reads the new keymap
        } else if (verb == QLatin1String("trigger")) {
            listener.manager.setTrigger(argument);
        } else {
            if (verb != QLatin1String("up"))
                keys.downCode(codes[i]);
            if (verb != QLatin1String("down"))
                keys.upCode(codes[i]);
        }
    }
}

PulseAudioInputs devices;
PulseCaptureBackend backend;

QString pactl(const QString& args)
{
    return run(u"pactl "_s + args).value_or(QString());
}

// The number of capture streams PulseAudio has open (one is the session's
// own, keeping the monitor's latency low).
int streams()
{
    return int(pactl(u"list short source-outputs"_s).split(u'\n', Qt::SkipEmptyParts).size());
}

// The loudness envelope (RMS over 10 ms) of the first channel of a 16-bit
// WAV with the plain 44-byte header; its rate and channels.
QList<double> envelope(const QByteArray& wav, int& rate, int& channels)
{
    channels = std::max<int>(qFromLittleEndian<quint16>(wav.constData() + 22), 1);
    rate = int(qFromLittleEndian<quint32>(wav.constData() + 24));
    const qsizetype frames = (wav.size() - 44) / (2 * channels), window = rate / 100;
    QList<double> out;
    for (qsizetype at = 0; at + window <= frames; at += window) {
        double sum = 0;
        for (qsizetype i = at; i < at + window; ++i)
            sum += std::pow(qFromLittleEndian<qint16>(wav.constData() + 44 + 2 * channels * i), 2);
        out << std::sqrt(sum / window);
    }
    return out;
}

// The best Pearson correlation of `a` against `recorded` at any delay.
double bestCorrelation(const QList<double>& a, const QList<double>& recorded)
{
    double best = -1;
    for (qsizetype lag = 0; lag + a.size() <= recorded.size(); ++lag) {
        const QList<double> b = recorded.mid(lag, a.size());
        const double ma = std::accumulate(a.begin(), a.end(), 0.0) / a.size();
        const double mb = std::accumulate(b.begin(), b.end(), 0.0) / a.size();
        double ab = 0, aa = 0, bb = 0;
        for (qsizetype i = 0; i < a.size(); ++i) {
            ab += (a[i] - ma) * (b[i] - mb);
            aa += (a[i] - ma) * (a[i] - ma);
            bb += (b[i] - mb) * (b[i] - mb);
        }
        best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

std::optional<RecError::Kind> startError(Recorder& recorder)
{
    try {
        recorder.start();
    } catch (const RecError& e) {
        return e.kind;
    }
    return std::nullopt;
}

// What the terms window shows, picked: the two words seen twice, then the
// long one seen once. The password field's word never.
const QStringList termsOfTheWindow{u"TypeScript"_s, u"Kubernetes"_s, u"音声認識"_s, u"プロジェクト"_s};

const QString setupTitle = u"サイリ はじめの準備"_s;

bool hasWindow(const QString& title)
{
    return DesktopProbe::windowTitles(u"Sayri"_s).contains(title);
}

// Gives the window of that title the keyboard focus (it may be a new X window
// by now, or become one while Sayri lays it out); true once it is active.
bool focus(const QString& title)
{
    return QTest::qWaitFor(
        [&] {
            QProcess::execute(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^%1$"_s.arg(title),
                                             u"windowactivate"_s, u"--sync"_s});
            return run(u"xdotool getactivewindow getwindowname"_s) == title;
        },
        5000);
}

const QString reply = u"今日は晴れです。ご視聴ありがとうございました"_s;
const QString pasted = u"今日は晴れです。"_s;

QByteArray readAll(const QString& name)
{
    return readFile(Config::file(name));
}

QJsonArray history()
{
    return QJsonDocument::fromJson(readAll(u"history.json"_s)).array();
}

// True once the process has ended (reaped or not).
bool gone(qint64 pid)
{
    const QByteArray stat = readFile(u"/proc/%1/stat"_s.arg(pid));
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

class TestDesktop : public QObject {
    Q_OBJECT

    TestDataFolder data;
    int streamsBefore = 0;
    RunningSayri sayri;
    WhisperStandIn& standIn = sayri.standIn;
    bool dataOnTmpfs = false;
    std::shared_ptr<AtspiTree> tree_ = std::make_shared<AtspiTree>();
    std::shared_ptr<X11FrontmostApp> frontmost_ = std::make_shared<X11FrontmostApp>();
    ScreenContext screen_{tree_, frontmost_, QCoreApplication::applicationPid()};

    bool settled()
    {
        return QTest::qWaitFor([&] { return screen_.capturesRunning() == 0; }, 15000);
    }

    QStringList capture()
    {
        screen_.capture();
        return settled() ? screen_.currentTerms() : QStringList{u"(still running)"_s};
    }

    // The text of this application's focused window, as a capture reads it,
    // once the application has published its tree (a moment after it starts).
    QString textOf(const ScreenWindow& window)
    {
        QString text;
        (void)QTest::qWaitFor([&] { return !(text = ScreenContext::axVisibleText(*tree_, window.pid())).isEmpty(); },
                              15000);
        return text;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(XTestKeys().isOpen(), "no X display: run inside scripts/desktop-session");
        data.writeText(u"dictionary.txt"_s, QString());
        Config::bootstrap();
        streamsBefore = streams();
    }

    void cleanupTestCase()
    {
        if (sayri.app.state() != QProcess::NotRunning)
            sayri.terminate();
        if (dataOnTmpfs)
            run(u"umount "_s + Config::dataFolder());
    }

    // A case that fails with Sayri still running would fail each later one
    // too (a second start only hands over to the first): Sayri ends here.
    void cleanup()
    {
        if (QTest::currentTestFailed() && sayri.app.state() != QProcess::NotRunning && !sayri.terminate()) {
            sayri.app.kill();
            sayri.app.waitForFinished(5000);
        }
    }

    void launchSecondLaunchAndTerminate()
    {
        sayri.launch();
        QTRY_VERIFY_WITH_TIMEOUT(DesktopProbe::trayIconCentre(u"Sayri"_s), 10000);
        QTRY_VERIFY(logContains(u"サイリ起動"_s));

        // No model here, so setup comes first and no settings window opens.
        QTRY_VERIFY(hasWindow(setupTitle));
        QTRY_VERIFY(!logMessages().filter(u"はじめの準備: 窓の高さ 必要="_s).isEmpty());
        QVERIFY(!hasWindow(u"サイリ"_s));

        // The window manager's close (Alt+F4 in openbox) brings it back, and
        // it still takes the keyboard: "準備をはじめる" moves on.
        const QString refused = u"はじめの準備: 窓は閉じられません（最後のボタンで終わります）"_s;
        const auto stepsShown = [] { return logMessages().filter(u" を表示　"_s).size(); };
        const qsizetype steps = stepsShown();
        QVERIFY(focus(setupTitle));
        xdotool(u"key alt+F4"_s);
        QTRY_VERIFY(logContains(refused));
        QTest::qWait(1000);  // the window comes back as a new X window
        QTRY_VERIFY(hasWindow(setupTitle));
        QCOMPARE(logMessages().count(refused), 1);
        QVERIFY(focus(setupTitle));
        xdotool(u"key Return"_s);
        QTRY_VERIFY(stepsShown() > steps);

        // A second launch hands over to the first and ends.
        QProcess second;
        second.start(RunningSayri::path());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY(hasWindow(u"サイリ"_s));
        QCOMPARE(sayri.app.state(), QProcess::Running);
        QCOMPARE(logMessages().count(u"サイリ起動"_s), 1);

        // Closed, the settings window comes back from the tray icon's menu.
        QVERIFY(focus(u"サイリ"_s));
        xdotool(u"key ctrl+w"_s);
        QTRY_VERIFY(!hasWindow(u"サイリ"_s));
        const std::optional<QPoint> tray = DesktopProbe::trayIconCentre(u"Sayri"_s);
        QVERIFY(tray);
        xdotool(u"mousemove %1 %2 click 3 sleep 0.6 key Down Return"_s.arg(tray->x()).arg(tray->y()));
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(u"サイリ"_s), 5000);

        QVERIFY(sayri.terminate());
        QCOMPARE(logMessages().last(), u"サイリ終了"_s);
    }

    // A keyboard-only user: the settings window of a second start, its
    // dictionary page by keys, a word added, moved, edited and deleted (each
    // seen in the file), screen hints off and on, the window hidden by Escape.
    void settingsByKeysAlone()
    {
        data.writeText(u"dictionary.txt"_s, u"一番\n"_s);
        sayri.launch();
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(setupTitle), 10000);
        QCOMPARE(QProcess::execute(RunningSayri::path(), {}), 0);
        QTRY_VERIFY(hasWindow(u"サイリ"_s));
        QVERIFY(QTest::qWaitFor([] { return focus(u"サイリ"_s); }, 20000));  // a loaded machine lays it out slowly
        const auto active = [] { return run(u"xdotool getactivewindow"_s).value_or(QString()); };
        const QString settings = active();
        // Each dialog takes the keyboard from the window, and gives it back.
        const auto inDialog = [&] { return QTest::qWaitFor([&] { return active() != settings; }, 5000); };
        const auto back = [&] { return QTest::qWaitFor([&] { return active() == settings; }, 5000); };
        const auto keys = [](const QString& k) { xdotool(u"key --delay 100 "_s + k); };
        const auto file = [] { return readAll(u"dictionary.txt"_s); };

        keys(u"ctrl+2 Return"_s);  // "＋ 追加" has the focus on the page the keys chose
        QVERIFY(inDialog());
        xdotool(u"type Orca"_s);
        keys(u"Return"_s);
        QTRY_VERIFY(file().endsWith("一番\nOrca\n") && back());
        keys(u"Tab Tab Tab alt+Down"_s);  // the list after the page's buttons
        QTRY_VERIFY(file().endsWith("Orca\n一番\n"));
        keys(u"Up F2"_s);
        QVERIFY(inDialog());
        xdotool(u"key ctrl+a type Sayri"_s);
        keys(u"Return"_s);
        QTRY_VERIFY(file().endsWith("Sayri\n一番\n") && back());
        keys(u"Delete"_s);
        QVERIFY(inDialog());
        keys(u"Return"_s);
        QTRY_VERIFY(!file().contains("Sayri") && file().contains("一番") && back());

        // 設定: past the trigger key, the microphone and start at login to screen hints.
        const auto hintsOff = [] { return readAll(u"config.json"_s).contains("\"screenHintEnabled\": false"); };
        keys(u"ctrl+1 Tab Tab Tab space"_s);
        QTRY_VERIFY(hintsOff());
        keys(u"space"_s);
        QTRY_VERIFY(!hintsOff());
        keys(u"Escape"_s);
        QTRY_VERIFY(!run(u"xdotool search --onlyvisible --name ^サイリ$"_s));
        QVERIFY(sayri.terminate());
    }

    // What a screen reader reads over the accessibility bus: each control that
    // takes the focus in the setup window, the settings window's four pages
    // and the about window has a Japanese name.
    void everyControlNamed()
    {
        data.writeText(u"dictionary.txt"_s, u"Orca\n"_s);  // a row: its word and status word
        QVERIFY(accessibilityEnabled(true));
        sayri.launch();
        // The names of the controls shown in Sayri's active window that take the focus.
        const auto controls = [&] {
            QStringList names;
            for (const auto& [control, name] : AccessibleControls::focusable(*tree_, sayri.app.processId()))
                names << name;
            return names;
        };
        // Those of the window of that title once `expected` is one of them: all in Japanese.
        const auto named = [&](const QString& title, const QString& expected) {
            QStringList names;
            (void)QTest::qWaitFor([&] { return focus(title) && (names = controls()).contains(expected); }, 20000);
            qWarning().noquote() << title << u"：「%1」"_s.arg(names.join(u"」「"_s));
            static const QRegularExpression japanese(u"[\\p{Hiragana}\\p{Katakana}\\p{Han}]"_s);
            return names.contains(expected) && names.filter(japanese) == names;
        };
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(setupTitle), 10000);
        QVERIFY(named(setupTitle, u"準備をはじめる"_s));
        QCOMPARE(QProcess::execute(RunningSayri::path(), {}), 0);
        const QStringList pages{u"画面に出ている言葉をヒントにする"_s, u"＋ 追加"_s, u"履歴の一覧"_s, u"使い方の説明"_s};
        for (int page = 1; page <= 4; ++page) {
            QVERIFY(QTest::qWaitFor([] { return focus(u"サイリ"_s); }, 20000) && xdotool(u"key ctrl+%1"_s.arg(page)));
            QVERIFY(named(u"サイリ"_s, pages[page - 1]));
        }
        const std::optional<QPoint> tray = DesktopProbe::trayIconCentre(u"Sayri"_s);
        QVERIFY(tray && xdotool(u"mousemove %1 %2 click 3 sleep 0.6 key Up Up Return"_s.arg(tray->x()).arg(tray->y())));
        QVERIFY(named(u"サイリについて"_s, u"オープンソースライセンス"_s));
        QVERIFY(sayri.terminate());
    }

    // Quitting while the setup window downloads ends the transfer and leaves
    // no partial file; one left by a crash starts no download at a later start.
    void quittingMidDownload()
    {
        FileServer files;
        for (const auto& [name, size] : {std::pair{PreviewModel::fileName, PreviewModel::genuine.size},
                                         {ModelSetup::modelFileName, ModelSetup::expectedSize}})
            files.setRoute(u"/m/"_s + name, {.block = QByteArray(65536, 'x'), .size = size, .stallAt = 1 << 20});
        qputenv("SAYRI_MODEL_URLS", files.url(u"/m/"_s + ModelSetup::modelFileName).toUtf8());
        const auto unset = qScopeGuard([] { qunsetenv("SAYRI_MODEL_URLS"); });
        standIn.configure(WhisperStandIn::freePort());
        Config::edit([](ConfigData& c) { c.whisperModelPath.clear(); });  // setup comes first
        Config::save();
        sayri.launch();
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(setupTitle), 10000);
        const auto stepsShown = [] { return logMessages().filter(u"はじめの準備: "_s).filter(u" を表示　"_s); };
        const qsizetype steps = stepsShown().size();
        QVERIFY(focus(setupTitle));
        xdotool(u"key Return"_s);  // "準備をはじめる": the preview's step where a server program is at hand, else the
                                   // model's
        QTRY_VERIFY(stepsShown().size() > steps);
        const QString part = (stepsShown().last().contains(u"仮表示 を表示"_s)
                                  ? PreviewModel::path()
                                  : ModelSetup::modelsDir() + u"/ggml-large-v3-turbo-q5_0.bin"_s)
                             + u".part"_s;
        QVERIFY(focus(setupTitle));
        xdotool(u"key Return"_s);  // "ダウンロードをはじめる"
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(part).size(), 1 << 20, 10000);
        QVERIFY(sayri.terminate());
        QVERIFY(!QFile::exists(part));

        // Left by a crash an hour ago (removed at start-up), and a moment ago
        // (perhaps another Sayri's, left alone): neither is downloaded on.
        QFile old(ModelSetup::modelsDir() + u"/ggml-large-v3-turbo-q5_0.bin.part"_s);
        QVERIFY(old.open(QIODevice::WriteOnly)
                && old.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        old.close();
        writeFile(PreviewModel::path() + u".part"_s, "x");
        QVERIFY(sayri.startListening());
        QVERIFY(!old.exists() && QFile::exists(PreviewModel::path() + u".part"_s));
        QCOMPARE(files.requests().size(), 1);
        QVERIFY(sayri.terminate() && QFile::remove(PreviewModel::path() + u".part"_s));
    }

    // A Wayland session naming a compositor that is not there: Sayri runs on
    // the X display and its plan says that no key can be heard; with no X
    // display at all it says so and ends.
    void waylandSession()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_SESSION_TYPE"_s, u"wayland"_s);
        env.insert(u"WAYLAND_DISPLAY"_s, u"wayland-nowhere"_s);
        env.insert(u"QT_QPA_PLATFORM"_s, u"wayland"_s);
        RunningSayri wayland;
        wayland.app.setProcessEnvironment(env);
        wayland.launch();
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(setupTitle), 10000);
        QTRY_VERIFY(logMessages().filter(u"セッション: Wayland（"_s).join(QString()).contains(u"録音キー=なし"_s));
        QVERIFY(wayland.terminate());

        env.remove(u"DISPLAY"_s);
        wayland.app.setProcessEnvironment(env);
        wayland.app.setProcessChannelMode(QProcess::SeparateChannels);
        wayland.launch();
        QVERIFY(wayland.app.waitForFinished(10000));
        QVERIFY(wayland.app.exitStatus() == QProcess::NormalExit && wayland.app.exitCode() == 1);
        QVERIFY(QString::fromUtf8(wayland.app.readAllStandardError()).contains(u"X11 のセッション"_s));
    }

    // Sayri started as at login on the stand-in server, a data folder of its
    // own file system (to turn read-only later) where mounting is allowed.
    void startsListening()
    {
        QDir().mkpath(Config::dataFolder());
        dataOnTmpfs = ::geteuid() == 0 && run(u"mount -t tmpfs -o size=16m tmpfs "_s + Config::dataFolder());
        standIn.setReplies(QJsonArray{QJsonObject{{u"text"_s, reply}}});
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
        QTRY_COMPARE(target.keys(), (QStringList{u"Ctrl+V"_s, u"File menu"_s}));

        QCOMPARE(history().size(), 1);  // what it holds is the controller's unit test's

        // The recognition server received the recorded speech as a WAV.
        const auto requests = standIn.inferenceRequests();
        QCOMPARE(requests.size(), 1);
        const QByteArray wav = requests[0].contents.value(u"file"_s);
        QVERIFY2(wav.size() > 44 + 32000, "at least a second of audio");
    }

    void serverKilledWhileTranscribing()
    {
        PasteTarget target;
        const int requests = standIn.inferenceRequests().size();
        const int stored = history().size();
        standIn.setReplies({QJsonObject{{u"hang"_s, true}}});
        QVERIFY(sayri.dictate(target));
        QTRY_COMPARE_WITH_TIMEOUT(standIn.inferenceRequests().size(), requests + 1, 10000);
        standIn.setReplies(QJsonArray{QJsonObject{{u"text"_s, reply}}});
        ::kill(pid_t(standIn.starts().last()[u"pid"_s].toInteger()), SIGKILL);

        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 20000);
        QCOMPARE(history().size(), stored + 1);
        QVERIFY(logMessages().join(u'\n').contains(u"起動し直してもう一度送ります"_s));
    }

    // Unplugged while recording: the sound server moves the recording to the
    // microphone that is left, which hears the speech.
    void microphoneRemovedWhileRecording()
    {
        // A second microphone, made the default.
        const QString module =
            run(u"pactl load-module module-remap-source master=vsink.monitor source_name=vmic2"_s).value_or(QString());
        QVERIFY(!module.isEmpty() && run(u"pactl set-default-source vmic2"_s));
        PasteTarget target;
        QVERIFY(sayri.dictate(target, true, [&] {
            run(u"pactl set-default-source vmic"_s);
            run(u"pactl unload-module "_s + module);
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
        const QByteArray stored = readAll(u"history.json"_s);
        const QByteArray settings = readAll(u"config.json"_s);
        const QString folder = Config::dataFolder();
        QFile filler(Config::file(u"filler"_s));
        if (readOnly) {
            QVERIFY(run(u"mount --bind %1 %1"_s.arg(folder)));
            QVERIFY(run(u"mount -o remount,bind,ro "_s + folder));
        } else {
            QVERIFY(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(65536, 0)) > 0 && filler.flush()) {}
        }
        PasteTarget target;
        QVERIFY(sayri.dictate(target, false));  // the log cannot say when recording starts now
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 15000);
        QCOMPARE(readAll(u"history.json"_s), stored);
        QCOMPARE(readAll(u"config.json"_s), settings);
        if (readOnly)
            QVERIFY(run(u"umount -l "_s + folder));
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
        ModelSetup::recordFingerprint(model.fileName(), PreviewModel::genuine.sha256);  // as the download does
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
        QTRY_VERIFY_WITH_TIMEOUT((bar = DesktopProbe::windowOfSize(u"Sayri"_s, QSize(G::barWidth, G::barHeight)))
                                     && sayri.recordings() > before,
                                 5000);

        QProcess speaking;
        speaking.start(u"paplay"_s, {u"--device=vsink"_s, sayri.speechFile()});
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
        QStringList hosts;
        for (const auto& r : standIn.inferenceRequests().mid(earlier))
            hosts << r.header("host");
        QCOMPARE(hosts.count(u"127.0.0.1:%1"_s.arg(Config::shared().whisperPort)), 1);
    }

    // Last of the built app's cases: Sayri killed outright takes its server
    // with it and leaves no half-written file behind.
    void killedSayriLeavesNothingBehind()
    {
        const qint64 server = standIn.starts().last()[u"pid"_s].toInteger();
        QVERIFY(!gone(server));
        ::kill(pid_t(sayri.app.processId()), SIGKILL);
        QVERIFY(sayri.app.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(gone(server), 5000);
        const QStringList files = QDir(Config::dataFolder()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(files.filter(QRegularExpression(QStringLiteral("\\.[A-Za-z0-9]{6}$"))).isEmpty(),
                 qPrintable(files.join(u' ')));
        QVERIFY(!history().isEmpty());
        QVERIFY(QJsonDocument::fromJson(readAll(u"config.json"_s)).isObject());
    }

    // Which X keys count as which trigger (the tap rules are the unit test's),
    // each tap at the time it happened. The right Alt as layouts make it: as
    // AltGr (ISO_Level3_Shift) it still fires; made a Compose key it is gone,
    // and choosing it says so.
    void gestures_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<int>("taps");
        QTest::addColumn<QString>("script");
        QTest::newRow("Shift pressed and released while Alt is held")
            << "option" << 0 << "down Alt_L,tap Shift_L,up Alt_L";
        QTest::newRow("Caps Lock on") << "option" << 1 << "tap Caps_Lock,down Alt_L,wait 50,up Alt_L,tap Caps_Lock";
        QTest::newRow("leftOption ignores the right Alt") << "leftOption" << 1 << "tap Alt_R,wait 50,tap Alt_L";
        QTest::newRow("rightOption ignores the left Alt") << "rightOption" << 1 << "tap Alt_L,wait 50,tap Alt_R";
        QTest::newRow("rightCommand is the right Super key")
            << "rightCommand" << 1 << "tap Super_L,wait 50,tap Super_R";
        QTest::newRow("control: either Ctrl") << "control" << 2 << "tap Control_L,wait 50,tap Control_R";
        QTest::newRow("rightShift ignores the left Shift") << "rightShift" << 1 << "tap Shift_L,wait 50,tap Shift_R";
        QTest::newRow("right Alt as AltGr") << "option" << 1 << "layout lv3:ralt_switch,trigger rightOption,tap Alt_R";
        QTest::newRow("right Alt as Compose") << "option" << 0 << "layout compose:ralt,trigger rightOption,tap Alt_R";
    }

    void gestures()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, script);
        QFETCH(int, taps);
        Listener listener(trigger);
        XTestKeys keys(XTestKeys::physicalKeyboard);
        const auto usualLayout = qScopeGuard([] { QProcess::execute(u"setxkbmap"_s, {u"-option"_s, QString()}); });
        const double start = uptimeSeconds();
        play(keys, listener, script.split(u','));
        if (taps > 0)
            QTRY_COMPARE(listener.taps.size(), taps);
        QTest::qWait(150);
        QCOMPARE(listener.taps.size(), taps);
        for (double t : listener.taps)
            QVERIFY(t >= start && t <= uptimeSeconds());
        QCOMPARE(logContains(
                     u"録音キー「右のAlt」に当たるキーが、いまのキーボード配列にありません（押しても反応しません）"_s),
                 script.contains(u"compose:ralt"_s));
    }

    // Another program's binding on a lone Alt tap (xcape's, as an input
    // method's would be) fires while Sayri listens; only the tap that ends a
    // dictation is hidden, and hiding it switches no keymap on the display.
    void loneTapsOfOtherPrograms()
    {
        Listener listener(u"option"_s);
        listener.manager.maskLonePresses(std::make_shared<X11KeySynthesizer>());
        bool ending = false;
        listener.manager.tapEndsDictation = [&ending] { return ending; };
        PasteTarget target;
        QVERIFY(target.start());
        QProcess xcape;  // -d: in the foreground, each key it sees on its output
        xcape.setProcessChannelMode(QProcess::MergedChannels);
        xcape.start(u"stdbuf"_s, {u"-oL"_s, u"xcape"_s, u"-d"_s, u"-e"_s, u"Alt_L=F9"_s});
        QVERIFY(xcape.waitForStarted());
        const auto stop = qScopeGuard([&] { xcape.terminate(), xcape.waitForFinished(5000); });
        XTestKeys keyboard(XTestKeys::physicalKeyboard);
        QByteArray seen;
        QTRY_VERIFY((keyboard.tap("Shift_L"), seen += xcape.readAll(), seen.contains("Intercepted key event")));
        Display* display = XOpenDisplay(nullptr);
        const auto close = qScopeGuard([display] { XCloseDisplay(display); });
        XkbSelectEvents(display, XkbUseCoreKbd, XkbNewKeyboardNotifyMask, XkbNewKeyboardNotifyMask);
        for (const bool dictating : {false, true}) {
            ending = dictating;
            keyboard.tap("a");  // the keymap is the keyboard's again (after xcape's key)
            XSync(display, True);
            keyboard.down("Alt_L");
            QTest::qWait(50);
            keyboard.up("Alt_L");
            QTRY_COMPARE(listener.taps.size(), 1 + int(dictating));
            if (!dictating)
                QTRY_COMPARE(target.keys(), (QStringList{u"A"_s, u"F9"_s}));
        }
        QTest::qWait(300);
        QCOMPARE(target.keys(), (QStringList{u"A"_s, u"F9"_s, u"A"_s}));
        XSync(display, False);
        QCOMPARE(XPending(display), 0);  // no keymap notice
    }

    void heldOnAPhysicalKeyboard_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("typed");
        QTest::newRow("Alt") << "Alt_L" << u"option"_s << "Alt+X";
        QTest::newRow("Control") << "Control_L" << u"control"_s << "Ctrl+X";
        QTest::newRow("right Shift") << "Shift_R" << u"rightShift"_s << "Shift+X";
    }

    // The trigger key held on the keyboard itself (not an XTest device) while
    // the text comes: the window sees Control+V alone, the held key is pressed
    // again afterwards (typing is Key+X, which spoils that press), it does not
    // stay stuck once let go, and the paste's own keys are no taps. Escape is
    // reported and still reaches the window.
    void heldOnAPhysicalKeyboard()
    {
        QFETCH(QString, key);
        QFETCH(QString, trigger);
        QFETCH(QString, typed);
        Listener listener(trigger);
        PasteTarget target;
        QVERIFY(target.start());
        XTestKeys keyboard(XTestKeys::physicalKeyboard);
        QVERIFY2(keyboard.isOpen(), "the X server has no keyboard device of its own");
        auto paster = makePaster();

        keyboard.down(qPrintable(key));
        const QString text = u"今日は晴れ👨‍👩‍👧\n二行目\tタブ"_s;
        paster->paste(text);
        QTRY_COMPARE(target.text(), text);
        keyboard.tap("x");
        keyboard.up(qPrintable(key));
        paster->paste(u"二つ目"_s);
        QTRY_VERIFY(target.text().endsWith(u"二つ目"_s));  // after the typed x, if it wrote one
        keyboard.tap("Escape");
        QTRY_COMPARE(listener.escapes, 1);
        QTRY_COMPARE(target.keys(), (QStringList{"Ctrl+V", typed, "Ctrl+V", "Esc"}));
        QCOMPARE(listener.taps.size(), 0);
    }

    // A Japanese user's input method, Mozc on, in a GTK or Qt window, with a
    // word left half typed (the preedit) or none: the text arrives whole after
    // the preedit, committed once as typed, and Mozc is still on afterwards.
    void inputMethods_data()
    {
        QTest::addColumn<QStringList>("session");
        QTest::addColumn<QString>("preedit");
        for (const char* im : {"fcitx5", "ibus"})
            for (const char* window : {"gtk", SAYRI_SCREEN_WINDOW})
                for (const char* preedit : {"", "kana"})
                    QTest::addRow("%s %s %s", im, window[0] == 'g' ? "GTK" : "Qt", preedit)
                        << QStringList{im, window} << preedit;
    }

    void inputMethods()
    {
        QFETCH(QStringList, session);
        QFETCH(QString, preedit);
        QTemporaryDir dir;
        QProcess im;
        im.start(u"" SAYRI_SOURCE_DIR "/tests/support/desktop/with-input-method"_s, session << dir.path());
        const auto end = qScopeGuard([&] { im.closeWriteChannel(), im.waitForFinished(10000); });
        QVERIFY(im.waitForReadyRead(30000) && im.readAll() == "on\n");
        const auto read = [&dir](const QString& name) { return QString::fromUtf8(readFile(dir.filePath(name))); };
        XTestKeys keys;
        for (const QString& key : preedit.split(QString(), Qt::SkipEmptyParts))
            keys.tap(qPrintable(key));
        const QString before = preedit.isEmpty() ? QString() : u"かな"_s;
        QTRY_COMPARE(read(u"preedit"_s), before);
        auto paster = makePaster();
        QVERIFY(paster->paste(u"晴れ"_s).sent);
        QTRY_COMPARE(read(u"text"_s), before + u"晴れ"_s);
        keys.tap("s"), keys.tap("u");
        QTRY_COMPARE(read(u"preedit"_s), u"す"_s);
        QCOMPARE(read(u"text"_s), before + u"晴れ"_s);
    }

    // LibreOffice Writer and Calc, one instance for both: the text arrives as text in the paragraph and in
    // the cell, a text of several lines too (pasted on a cell, Calc would open its import dialog), and the
    // hints are the documents' words, read within the walk's limits from a text of a hundred pages.
    void theOfficeSuite()
    {
        QVERIFY(accessibilityEnabled(true));
        const QString head = u"<?xml version=\"1.0\"?><office:document office:version=\"1.2\" "
                             u"xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                             u"xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
                             u"xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
                             u"xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
                             u"xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
                             u"office:mimetype=\"application/vnd.oasis.opendocument.%1\">"_s;
        // Page one holds the document's text, the sheet's fourth and fifth rows too; then come
        // a hundred pages of one word, never on screen.
        QString text = u"<text:p>"_s + QString(documentText).replace(u"\n"_s, u"</text:p><text:p>"_s) + u"</text:p>"_s;
        for (int i = 0; i < 2000; ++i)
            text += (i % 20 ? u"<text:p>"_s : u"<text:p text:style-name=\"P\">"_s) + u"灯台守の記録</text:p>"_s;
        const QString cells = u"<table:table-row><table:table-cell><text:p>"_s
                              + QString(documentText).replace(u"\n"_s, u"</text:p></table:table-cell></table:table-row>"
                                                                       u"<table:table-row><table:table-cell><text:p>"_s);
        data.writeText(u"文書.fodt"_s, head.arg(u"text"_s) + u"<office:automatic-styles><style:style style:name=\"P\" "
                       u"style:family=\"paragraph\"><style:paragraph-properties fo:break-before=\"page\"/></style:style>"
                       u"</office:automatic-styles><office:body><office:text>"_s + text + u"</office:text></office:body></office:document>"_s);
        data.writeText(u"表.fods"_s, head.arg(u"spreadsheet"_s) + u"<office:body><office:spreadsheet><table:table table:name=\"表1\">"
                       u"<table:table-row table:number-rows-repeated=\"3\"><table:table-cell/></table:table-row>"_s + cells
                       + u"</text:p></table:table-cell></table:table-row></table:table></office:spreadsheet></office:body></office:document>"_s);
        QProcess office;
        office.start(u"soffice"_s, {u"-env:UserInstallation=file://"_s + Config::file(u"office"_s), u"--norestore"_s,
                                    u"--nologo"_s, Config::file(u"文書.fodt"_s), Config::file(u"表.fods"_s)});
        const auto window = [](const char* name) {
            return run(u"xdotool search --onlyvisible --class ^libreoffice-%1$"_s.arg(name)).value_or(QString()).section(u'\n', 0, 0);
        };
        QTRY_VERIFY_WITH_TIMEOUT(!window("writer").isEmpty() && !window("calc").isEmpty(), 120000);
        const qint64 pid = run(u"xdotool getwindowpid "_s + window("writer")).value_or(QString()).toLongLong();
        const auto stop = qScopeGuard([&] { ::kill(pid_t(pid), SIGKILL), office.waitForFinished(10000); });
        auto paster = makePaster();
        XTestKeys keys;
        // The application, the text, what its window then shows (not a cell's open editor).
        for (const auto& [name, dictated, shown] : {std::tuple("writer", u"今日は晴れです。"_s, u"今日は晴れです。株式会社"_s),
                                                    std::tuple("writer", u"一行目。\n二行目。"_s, u"一行目。\n二行目。株式会社"_s),
                                                    std::tuple("calc", u"今日は晴れです。"_s, u"\n今日は晴れです。\n"_s),
                                                    std::tuple("calc", u"一行目。\n二行目。"_s, u"\n今日は晴れです。\n"_s)}) {
            xdotool(u"windowactivate --sync "_s + window(name));
            const auto title = run(u"xdotool getactivewindow getwindowname"_s);
            // Active for LibreOffice too: its accessible window is the one shown, the sheet's text holds "表1".
            QVERIFY(QTest::qWaitFor(
                [&] { return ScreenContext::axVisibleText(*tree_, pid).contains(u"表1"_s) == (name == "calc"_L1); }, 15000));
            QVERIFY(paster->paste(dictated).sent);
            const int v = keys.keycodeOf("v");
            QVERIFY(QTest::qWaitFor([v] { return X11InjectedKeys::consume(v, false); }));  // the keystroke is sent
            // Calc's import dialog would take the focus from the sheet; the cell's editor holds the text.
            const auto leftTheWindow = [&] { return run(u"xdotool getactivewindow getwindowname"_s) != title; };
            QVERIFY(!QTest::qWaitFor(leftTheWindow, dictated.contains(u'\n') && name == "calc"_L1 ? 3000 : 0));
            QVERIFY(QTest::qWaitFor([&] { return ScreenContext::axVisibleText(*tree_, pid).contains(shown); }));
            const int calls = tree_->callsSent();
            const QStringList terms = capture();
            // Fewer calls than the walk's 1 501 elements would take: only what is on screen is read.
            QVERIFY2(tree_->callsSent() - calls < 6000, qPrintable(QString::number(tree_->callsSent() - calls)));
            for (const QString& word : termsOfTheDocument + wordsOfTheApplications + u"灯台守 LibreOffice Document"_s.split(u' '))
                QVERIFY2(terms.contains(word) == termsOfTheDocument.contains(word), qPrintable(name + terms.join(u'、')));
        }
    }

    void theRecordingBarOnARealDesktop()
    {
        Overlay overlay;
        overlay.newerVersion = [] { return std::optional<QString>(); };
        PasteTarget target;
        QVERIFY(target.start());
        const quint64 window = target.windowId().toULongLong(nullptr, 16);
        XTestKeys keys;
        const auto showBar = [&] {
            overlay.showRecordingBar(u"Sayri-paste-target"_s, u"VirtualMic"_s);
            QTest::qWait(150);  // mapped and drawn on the X server
        };

        // A message lets the mouse through to the application's window,
        // put where the bar appears.
        overlay.show(u"準備ができました"_s);
        QWidget* panel = overlay.panel();
        QTRY_VERIFY(panel->isVisible());
        const QPoint centre = panel->geometry().center();
        xdotool(u"windowmove %1 %2 %3"_s.arg(target.windowId()).arg(centre.x() - 100).arg(centre.y() - 100));
        QTest::qWait(200);
        const quint64 bar = panel->winId();
        moveMouse(centre);
        QCOMPARE_NE(underPointer(), bar);

        // The recording bar catches it; the text field keeps the keyboard
        // while the bar shows, is clicked (background and stop button), and
        // shows live text and a message.
        showBar();
        moveMouse(panel->mapToGlobal(QPoint(200, 75)));
        QTRY_COMPARE(underPointer(), bar);
        keys.tap("a");
        QTRY_COMPARE(target.text(), u"a"_s);
        int stops = 0;
        connect(&overlay, &OverlayView::stopClicked, this, [&stops] { ++stops; });
        for (const QPoint p : {QPoint(200, 75), QPoint(369, 92)}) {
            moveMouse(panel->mapToGlobal(p));
            xdotool(u"click 1"_s);
        }
        QTRY_COMPARE(stops, 1);
        overlay.updateLiveText(u"ライブの文字"_s);
        overlay.updateLevel(0.4f);
        keys.tap("b");
        overlay.show(u"文字起こし中…"_s);
        keys.tap("c");
        QTRY_COMPARE(target.text(), u"abc"_s);
        QVERIFY(ScreenWindow::isActive(target.windowId()));
        QVERIFY(QApplication::activeWindow() == nullptr);

        // The bar grows by the update notice while it shows: its new bottom
        // strip catches the mouse too.
        overlay.newerVersion = [] { return std::optional<QString>(u"2.0"_s); };
        showBar();
        QCOMPARE(panel->height(), 136);
        moveMouse(panel->mapToGlobal(QPoint(200, 128)));
        QTRY_COMPARE(underPointer(), bar);

        // The application is brought to the front again: the bar stays above it.
        QVERIFY(target.activate());
        moveMouse(panel->mapToGlobal(QPoint(200, 75)));
        QTest::qWait(100);
        QCOMPARE(underPointer(), bar);

        // Another desktop: the application's window goes, the bar stays.
        QVERIFY(xdotool(u"set_desktop 1"_s));
        QTRY_VERIFY(!isViewable(window));
        QVERIFY(isViewable(bar));
        overlay.show(u"✓ 貼り付けました"_s);
        QTest::qWait(100);
        QVERIFY(isViewable(bar));
    }

    void aWordDraggedBelowTheLast()
    {
        writeFile(data.file(u"dictionary.txt"_s), "一番\nに=二番\n三番\n");
        QWidget page;  // the page around the table
        DictionaryTable table(&page);
        page.resize(740, 360);
        table.setGeometry(20, 20, 700, 320);
        table.setEntries(Config::dictionaryDisplayEntries());
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const auto* view = table.findChild<QListView*>();
        const auto row = [view](int i) {
            const QRect r = view->visualRect(view->model()->index(i, 0));
            return r.translated(view->viewport()->mapToGlobal(QPoint(0, 0)));
        };
        const auto to = [](QPoint p, double wait) {
            return u"mousemove %1 %2 sleep %3 "_s.arg(p.x()).arg(p.y()).arg(wait);
        };

        // Real XTest pointer events from xdotool, while this event loop (and
        // the drag's own) keeps running.
        const QPoint from(row(0).x() + 20, row(0).center().y()), below(row(2).x() + 20, row(2).bottom() - 2);
        QString steps = to(from, 0.1) + u"mousedown 1 "_s;
        for (int i = 1; i <= 20; ++i)
            steps += to(from + (below - from) * i / 20, 0.03);
        QProcess pointer;
        pointer.start(u"xdotool"_s, (steps + to(below, 0.3) + u"mouseup 1"_s).split(u' '));
        QTRY_VERIFY_WITH_TIMEOUT(pointer.state() == QProcess::NotRunning, 10000);
        QTRY_VERIFY(readFile(data.file(u"dictionary.txt"_s)).endsWith("\n\nに=二番\n三番\n一番\n"));
    }

    void deviceList()
    {
        const QList<AudioInputDevice> inputs = devices.inputs();
        QStringList uids;
        for (const AudioInputDevice& d : inputs)
            uids << d.uid;
        QVERIFY(uids.contains(u"vmic"_s) && uids.contains(u"pipemic"_s));
        QVERIFY2(uids.filter(u".monitor"_s).isEmpty(), qPrintable(uids.join(u' ')));
        QCOMPARE(devices.find(u"vmic"_s)->name, u"VirtualMic"_s);
        QVERIFY(!devices.find(QString()) && !devices.find(u"gone-mic"_s));
        QCOMPARE(devices.defaultInput()->name, u"VirtualMic"_s);
        QCOMPARE(PulseCaptureBackend().find(u"pipemic"_s), devices.find(u"pipemic"_s));

        // A device that comes and goes is seen at the next call.
        const QString module = pactl(u"load-module module-null-source source_name=extra"_s);
        QTRY_VERIFY(devices.find(u"extra"_s));
        pactl(u"unload-module "_s + module);
        QTRY_VERIFY(!devices.find(u"extra"_s));
    }

    void speechIsRecordedFaithfully()
    {
        const QString path = data.root() + u"/speech.wav"_s;
        QCOMPARE(
            QProcess::execute(u"espeak-ng"_s,
                              {u"-v"_s, u"ja"_s, u"-w"_s, path,
                               u"きょうは いい てんき ですね。 おんせい にゅうりょく の しけん を しています。"_s}),
            0);
        int rate = 0, channels = 0;
        const QList<double> played = envelope(readFile(path), rate, channels);

        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        QList<float> levels;
        std::atomic<int> rawOffMain{0};
        QThread* main = QThread::currentThread();
        recorder.onLevel = [&levels, main](float l) {
            if (QThread::currentThread() == main)
                levels << l;
        };
        recorder.onRawBuffer = [&rawOffMain, main](const QAudioBuffer&) {
            rawOffMain += QThread::currentThread() != main;
        };
        QVERIFY(!startError(recorder));
        QElapsedTimer recording;
        recording.start();
        QCOMPARE(QProcess::execute(u"paplay"_s, {u"--device=vsink"_s, path}), 0);
        QTest::qWait(300);
        const double seconds = double(recording.nsecsElapsed()) / 1e9;
        const QList<double> got = envelope(recorder.stopAndCollectWav(), rate, channels);

        QCOMPARE(rate, 16000);
        QCOMPARE(channels, 1);
        const double r = bestCorrelation(played, got);
        qInfo("recorded %.2f s in %.3f s; envelope correlation %.3f", got.size() / 100.0, seconds, r);
        QVERIFY(std::abs(got.size() / 100.0 - seconds) <= 0.1);
        QVERIFY(r >= 0.9);
        QVERIFY(recorder.lastLoudness() >= 200);
        QTRY_VERIFY(!levels.isEmpty());
        QVERIFY(*std::max_element(levels.begin(), levels.end()) > 0.01f);
        QVERIFY(rawOffMain > 0);  // the live-preview hook runs on the audio thread

        QTRY_COMPARE(streams(), streamsBefore);
    }

    // The retries and the warm-up's tries are the recorder's unit test's; here
    // the real stream gives no sound, and every stream opened is closed again.
    void sourceThatNeverDelivers()
    {
        const QString mic = Log::伏せた機器名(devices.find(u"pipemic"_s)->name);
        Config::edit([](ConfigData& c) { c.micDeviceUID = u"pipemic"_s; });
        const auto defaultMic = qScopeGuard([] { Config::edit([](ConfigData& c) { c.micDeviceUID.clear(); }); });
        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        QCOMPARE(startError(recorder), RecError::formatChanged);
        QTRY_COMPARE(streams(), streamsBefore);

        AudioRecorder::warmUp(u"pipemic"_s, backend);
        QCOMPARE(logMessages().last(),
                 u"マイクのならし運転: 3秒ねばりましたが音を確認できませんでした（%1）"_s.arg(mic));
        QTRY_COMPARE(streams(), streamsBefore);

        // One that delivers warms up; one that is not there is passed over.
        const qsizetype logged = logMessages().size();
        AudioRecorder::warmUp(u"no-such-mic"_s, backend);
        QCOMPARE(logMessages().size(), logged);
        AudioRecorder::warmUp(u"vmic"_s, backend);
        QVERIFY(logMessages().last().startsWith(
            u"マイクのならし運転OK: %1・44100Hz"_s.arg(Log::伏せた機器名(u"VirtualMic"_s))));
    }

    // Gone between being found and being opened: the start is refused at once
    // (the recorder tries again) instead of waiting for it; the next recording works.
    void deviceVanishingBeforeOpening()
    {
        const QString module = pactl(u"load-module module-null-source source_name=brief"_s);
        std::unique_ptr<CaptureEngine> engine;
        QTRY_VERIFY((engine = backend.makeEngine(u"brief"_s, nullptr)) != nullptr);
        pactl(u"unload-module "_s + module);
        QVERIFY(!engine->installTap(engine->inputFormat(), [](const QAudioBuffer&) {}));
        QElapsedTimer starting;
        starting.start();
        QCOMPARE(engine->start().outcome, CaptureStart::refused);
        QVERIFY(starting.elapsed() < 3000);
        engine.reset();

        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        QVERIFY(!startError(recorder));
        recorder.cancel();
    }

    // What the speakers play is no microphone: not as the default source (the
    // sound server's choice when no microphone is left), nor when the server
    // moves a recording there; a recording whose stream ends says so too.
    void speakersAreNoMicrophone()
    {
        const auto back = qScopeGuard([] { pactl(u"set-default-source vmic"_s); });
        pactl(u"set-default-source vsink.monitor"_s);
        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        QCOMPARE(startError(recorder), RecError::noInput);
        QCOMPARE(logMessages().last(), u"マイクを開けません（既定の入力は再生中の音で、マイクではありません）"_s);

        int lost = 0;
        recorder.onDeviceLost = [&lost] { ++lost; };
        // Unplugged, the server moves the recording to the default source: the monitor.
        const QString module = pactl(u"load-module module-null-source source_name=brief"_s).trimmed();
        Config::edit([](ConfigData& c) { c.micDeviceUID = u"brief"_s; });
        const auto defaultMic = qScopeGuard([] { Config::edit([](ConfigData& c) { c.micDeviceUID.clear(); }); });
        QTRY_VERIFY(!startError(recorder));
        pactl(u"unload-module "_s + module);
        QTRY_COMPARE(lost, 1);
        QVERIFY(logMessages().last().endsWith(u"・再生中の音に切り替えられました（マイクではありません））"_s));
        recorder.cancel();

        // The sound server gone (the socket Sayri reached it by closed).
        pactl(u"set-default-source vmic"_s);
        QTemporaryDir folder;
        const QString server =
            pactl(u"load-module module-native-protocol-unix socket="_s + folder.filePath(u"native"_s)).trimmed();
        qputenv("PULSE_SERVER", "unix:" + folder.filePath(u"native"_s).toUtf8());
        AudioRecorder other(std::make_unique<PulseCaptureBackend>());
        other.onDeviceLost = [&lost] { ++lost; };
        QVERIFY(!startError(other));
        qunsetenv("PULSE_SERVER");
        pactl(u"unload-module "_s + server);
        QTRY_COMPARE(lost, 2);
        QVERIFY(logMessages().last().endsWith(u"・音声サーバーにつながりません）"_s));
        other.cancel();
        QTRY_COMPARE(streams(), streamsBefore);
    }

    void switchingAccessibilityOn()
    {
        // A Qt program decides at its start whether to publish its tree: one
        // started while the desktop's accessibility is off exposes nothing,
        // also once the first capture has switched it on; the log says so.
        QVERIFY(!accessibilityEnabled(false));
        ScreenWindow early({u"terms"_s});
        QVERIFY(early.start());
        QTest::qWait(1000);
        QCOMPARE(capture(), QStringList());
        QVERIFY(accessibilityEnabled() && !logMessages().filter(u"アクセシビリティに見つからない"_s).isEmpty());
        early.close();
        ScreenWindow window({u"terms"_s});
        QVERIFY(window.start());
        QStringList terms;
        (void)QTest::qWaitFor([&] { return !(terms = capture()).isEmpty(); }, 15000);
        QCOMPARE(terms, termsOfTheWindow);
        // The text read stays out of the log.
        QVERIFY(!data.readText(u"sayri.log"_s).contains(u"議事録"_s));
        QVERIFY(!textOf(window).contains(u"PassphraseSecret"_s));

        // A hanging application: the walk gives up on it, the terms go empty.
        window.stop();
        screen_.capture();
        QTRY_VERIFY_WITH_TIMEOUT(screen_.currentTerms().isEmpty(), 10000);
        QVERIFY(settled());
        window.resume();
        QTRY_COMPARE_WITH_TIMEOUT(capture(), termsOfTheWindow, 10000);
        // The window of a program on another computer (ssh -X): its process id is not looked up here.
        QVERIFY(run(u"xprop -id %1 -f WM_CLIENT_MACHINE 8s -set WM_CLIENT_MACHINE elsewhere"_s.arg(window.windowId())));
        QTRY_COMPARE(capture(), QStringList());
        QVERIFY(logContains(u"画面の文脈: 手前の窓は別のコンピュータで動くアプリのため、ヒントを読みません"_s));

        // Hints switched off: the switch Sayri turned on goes back off.
        Config::edit([](ConfigData& c) { c.screenHintEnabled = false; });
        screen_.capture();
        QTRY_VERIFY_WITH_TIMEOUT(!accessibilityEnabled(), 5000);
        Config::edit([](ConfigData& c) { c.screenHintEnabled = true; });
        QVERIFY(accessibilityEnabled(true));
    }

    void noAccessibilityBus()
    {
        // A D-Bus bus of the test's own that starts no services, so there is
        // no accessibility bus behind it; QProcess ends it by its PID.
        QTemporaryDir dir;
        writeFile(dir.filePath(u"bus.conf"_s),
                  "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                  "<policy context=\"default\"><allow user=\"*\"/><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        QProcess bus;
        bus.start(u"dbus-daemon"_s,
                  {u"--config-file="_s + dir.filePath(u"bus.conf"_s), u"--nofork"_s, u"--print-address=1"_s});
        QVERIFY(bus.waitForReadyRead(5000));
        ScreenWindow window({u"terms"_s});
        QVERIFY(window.start());
        for (const QString& address : {QString::fromUtf8(bus.readLine()).trimmed(), u"unix:path=/nonexistent/bus"_s}) {
            auto tree = std::make_shared<AtspiTree>(address, AtspiTree::Timing{});
            QVERIFY(!tree->accessibilityOn() && !tree->setAccessibilityOn(true));
            QVERIFY(!tree->activeWindow(window.pid()).element);
            ScreenContext screen(tree, frontmost_, QCoreApplication::applicationPid());
            screen.capture();
            QVERIFY(QTest::qWaitFor([&] { return screen.capturesRunning() == 0; }, 10000));
            QCOMPARE(screen.currentTerms(), QStringList());
        }
    }

    void aHundredThousandElements()
    {
        ScreenWindow window({u"list"_s, u"100000"_s});
        QVERIFY(window.start(60000));
        QVERIFY(!textOf(window).isEmpty());
        const int before = tree_->callsSent();
        const QStringList lines = ScreenContext::axVisibleText(*tree_, window.pid()).split(u'\n');
        // The rows on screen, first to last; only the 1 500 rows visited are asked for.
        const QStringList rows = lines.filter(u"行"_s);
        QVERIFY(rows.size() > 5 && rows.size() < 100);
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i], u"行%1"_s.arg(i + 1));
        QVERIFY2(tree_->callsSent() - before < 10000, qPrintable(QString::number(tree_->callsSent() - before)));
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_Desktop.moc"
