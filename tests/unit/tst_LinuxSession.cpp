// Sayri's place in the user's Linux session: start at login through the XDG
// autostart entry, application names from desktop entries, one Sayri per
// display, and the microphone with no sound server at all.
#include "LogFile.h"
#include "TestDataFolder.h"

#include "audio/AudioRecorder.h"
#include "platform/linux/SessionPlan.h"
#include "platform/linux/input/EvdevReader.h"
#include "platform/linux/input/Keymap.h"
#include "platform/linux/pulse/PulseAudioInputs.h"
#include "platform/linux/pulse/PulseCapture.h"
#include "platform/linux/sway/SwayIpc.h"
#include "platform/linux/system/DesktopEntryNames.h"
#include "platform/linux/system/LinuxComputeDevices.h"
#include "platform/linux/system/SessionEnvironment.h"
#include "platform/linux/system/SingleInstance.h"
#include "platform/linux/system/XdgAutostartLoginItem.h"
#include "recognition/ComputePlan.h"
#include "store/Log.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <latch>
#include <thread>
#include <linux/input.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon-keysyms.h>

using namespace Qt::StringLiterals;

class TestLinuxSession : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString userConfig, systemConfig;
    QString error;

    static QString read(const QString& path) { return QString::fromUtf8(readFile(path)); }

private Q_SLOTS:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        userConfig = dir->path() + QStringLiteral("/config");
        systemConfig = dir->path() + QStringLiteral("/xdg");
        qputenv("XDG_CONFIG_HOME", userConfig.toUtf8());
        qputenv("XDG_CONFIG_DIRS", systemConfig.toUtf8());
        error.clear();
    }

    void onAndOff()
    {
        XdgAutostartLoginItem login(QStringLiteral("/usr/bin/sayri"));
        const QString entry = userConfig + QStringLiteral("/autostart/sayri.desktop");
        QVERIFY(!login.isEnabled());

        QVERIFY(login.setEnabled(true, error));
        QVERIFY(read(entry).contains(QStringLiteral("\nName=サイリ\n")));
        QCOMPARE(QProcess::execute(QStringLiteral("desktop-file-validate"), {entry}), 0);

        // Turning it on again rewrites the entry for the program as it is now.
        QVERIFY(XdgAutostartLoginItem(QStringLiteral("/opt/sayri/sayri")).setEnabled(true, error));
        QVERIFY(read(entry).contains(QStringLiteral("\nExec=/opt/sayri/sayri --login-item\n")));

        QVERIFY(login.setEnabled(false, error));
        QVERIFY(!QFile::exists(entry));
        QVERIFY(login.setEnabled(false, error));  // already off: fine
        QVERIFY(error.isEmpty());
    }

    void execLine()
    {
        for (const auto& [program, exec] : {std::pair{"/usr/bin/sayri", "/usr/bin/sayri --login-item"},
                                            {"/home/a/My Apps/sayri", "\"/home/a/My Apps/sayri\" --login-item"},
                                            {"/x/$a\"b", "\"/x/\\\\$a\\\\\"b\" --login-item"},
                                            {"/x/a\\b", "\"/x/a\\\\\\\\b\" --login-item"},
                                            {"/x/100%", "/x/100%% --login-item"}})
            QCOMPARE(XdgAutostartLoginItem::execLine(program), QString(exec));
    }

    // Entries that say they start nothing, and a system-wide entry, which
    // turning it off hides with a user entry.
    void switchedOffAndSystemWideEntries()
    {
        XdgAutostartLoginItem login(QStringLiteral("/usr/bin/sayri"));
        for (const auto& [text, enabled] :
             {std::pair{"[Desktop Entry]\nHidden=true\nExec=sayri\n", false},
              {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", false},
              {"[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n", true},
              {"[Desktop Entry]\nExec=sayri\n[Desktop Action x]\nHidden=true\n", true}}) {  // another group's
            writeFile(login.userEntryPath(), text);
            QVERIFY2(login.isEnabled() == enabled, text);
        }
        QFile::remove(login.userEntryPath());

        const QString system = systemConfig + QStringLiteral("/autostart/sayri.desktop");
        writeFile(system, "[Desktop Entry]\nType=Application\nExec=sayri --login-item\n");
        QVERIFY(login.isEnabled());
        QVERIFY(login.setEnabled(false, error));
        QVERIFY(!login.isEnabled());
        QVERIFY(read(login.userEntryPath()).contains(QStringLiteral("\nHidden=true\n")));
        QVERIFY(QFile::exists(system));
        QVERIFY(login.setEnabled(true, error));
        QVERIFY(login.isEnabled());
    }

    void failures()
    {
        XdgAutostartLoginItem login(QStringLiteral("/usr/bin/sayri"));
        const QString folder = userConfig + QStringLiteral("/autostart");
        writeFile(folder, "x");  // a file where the folder belongs
        QVERIFY(!login.setEnabled(true, error));
        QVERIFY2(error.contains(folder), qPrintable(error));
        QVERIFY(!login.isEnabled());

        // A folder where the entry belongs cannot be removed as a file.
        QFile::remove(folder);
        QVERIFY(QDir().mkpath(login.userEntryPath() + QStringLiteral("/inside")));
        error.clear();
        QVERIFY(!login.setEnabled(false, error));
        QVERIFY2(error.contains(login.userEntryPath()), qPrintable(error));
    }

    void namesByWindowClass()
    {
        QTemporaryDir user, system;
        writeFile(system.filePath("org.gnome.Terminal.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Terminal\nName[ja]=端末\nStartupWMClass=Gnome-terminal\n");
        // The file name matches too, but an entry naming the class comes first.
        writeFile(system.filePath("gnome-terminal.desktop"), "[Desktop Entry]\nType=Application\nName=Wrong\n");
        writeFile(system.filePath("gedit.desktop"),
                  "# comment\n[Desktop Entry]\nType=Application\nName=Text\\sEditor\nName[ja_JP]=テキストエディター\n"
                  "Name[ja]=エディター\n\n[Desktop Action new-window]\nName=New Window\n");
        writeFile(system.filePath("kde/konsole.desktop"), "[Desktop Entry]\nType=Application\nName=Konsole\n");
        writeFile(system.filePath("link.desktop"), "[Desktop Entry]\nType=Link\nName=A link\n");
        writeFile(system.filePath("gone.desktop"), "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
        writeFile(system.filePath("mine.desktop"), "[Desktop Entry]\nType=Application\nName=System copy\n");
        writeFile(user.filePath("mine.desktop"), "[Desktop Entry]\nType=Application\nName=My own\n");
        writeFile(system.filePath("org.kde.yakuake.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Yakuake\n"
                  "Exec=env QT_SCALE=1 /usr/bin/yakuake %u\nCategories=Qt;System;TerminalEmulator;\n");

        DesktopEntryNames names({user.path(), system.path()}, QStringLiteral("ja_JP"));
        QCOMPARE(names.nameFor("Gnome-terminal", "gnome-terminal-server"), QStringLiteral("端末"));
        QCOMPARE(names.nameFor("GNOME-TERMINAL", ""), QStringLiteral("端末"));
        QCOMPARE(names.nameFor("Gedit", "gedit"), QStringLiteral("テキストエディター"));
        QCOMPARE(names.nameFor("konsole", "konsole"), QStringLiteral("Konsole"));
        QCOMPARE(names.nameFor("Mine", "mine"), QStringLiteral("My own"));
        QCOMPARE(names.nameFor("Link", "link"), QString());
        QCOMPARE(names.nameFor("Gone", "gone"), QString());
        QCOMPARE(names.nameFor("Unknown", "unknown"), QString());
        QCOMPARE(names.nameFor("", ""), QString());
        // By the program the entry starts, with what the entry says it is.
        QCOMPARE(names.nameFor("Yakuake", "yakuake"), QStringLiteral("Yakuake"));
        QCOMPARE(names.entryFor("Yakuake", "yakuake")->categories, (QStringList{"Qt", "System", "TerminalEmulator"}));
    }

    void exactlyOneInstancePerDisplay()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        qputenv("DISPLAY", ":5");
        std::latch bothClaimed(2);
        std::atomic<int> claimed = 0;
        auto launch = [&] {
            SingleInstance s;
            claimed += s.claim();
            bothClaimed.arrive_and_wait();
        };
        std::thread a(launch), b(launch);
        a.join();
        b.join();
        QCOMPARE(claimed.load(), 1);

        QFile stale(SingleInstance::socketPath());  // left by a crashed instance
        QVERIFY(stale.open(QIODevice::WriteOnly));
        SingleInstance first;
        int reopened = 0;
        QVERIFY(first.claim() && first.listen([&] { ++reopened; }));
        // Busy (its event loop not turning), it still keeps its place on its
        // display; another display of the same user has a Sayri of its own.
        qputenv("DISPLAY", "unix:5.0");
        QVERIFY(!SingleInstance().claim());
        QTRY_COMPARE(reopened, 1);
        qputenv("DISPLAY", ":6");
        SingleInstance second;
        QVERIFY(second.claim());

        // Without XDG_RUNTIME_DIR, a folder of the user's own in the
        // temporary folder; one that is not is refused, and so is the launch.
        qunsetenv("XDG_RUNTIME_DIR");
        QTemporaryDir tmp;
        qputenv("TMPDIR", tmp.path().toUtf8());
        const QString folder = tmp.filePath(QStringLiteral("sayri-%1").arg(getuid()));
        for (int times = 0; times < 2; ++times) {  // made, then found and narrowed
            QCOMPARE(QFileInfo(SingleInstance::socketPath()).path(), folder);
            QCOMPARE((QFileInfo(folder).permissions() & 0x0077).toInt(), 0);
            QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
        }
        QVERIFY(QDir(folder).removeRecursively() && QFile::link(runtime.path(), folder));
        SingleInstance refused;
        QVERIFY(!refused.claim() && refused.refusal().contains(folder));
        if (getuid() == 0) {  // another user's folder
            QVERIFY(QFile::remove(folder) && QDir().mkdir(folder) && chown(qPrintable(folder), 65534, 65534) == 0);
            QCOMPARE(SingleInstance::socketPath(), QString());
        }
        qunsetenv("TMPDIR");
    }

    // What Sayri sets for its own windows stays with it: a link opens through
    // xdg-open with the environment the session gave Sayri.
    void programsGetTheSessionsEnvironment()
    {
        QTemporaryDir bin;
        const QString opener = bin.filePath(QStringLiteral("xdg-open"));
        writeFile(opener, "#!/bin/sh\n{ echo \"$1\"; echo \"${QT_QPA_PLATFORM-unset}\";"
                          " echo \"${QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT-unset}\"; } > \"$0.seen\"\n");
        QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH"), platform = qgetenv("QT_QPA_PLATFORM");
        qputenv("PATH", bin.path().toUtf8() + ':' + path);
        qputenv("QT_QPA_PLATFORM", "xcb");
        qunsetenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT");
        SessionEnvironment::setForSayri("QT_QPA_PLATFORM", "wayland");
        SessionEnvironment::setForSayri("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray("wayland"));
        SessionEnvironment::openLinksWithIt();
        QVERIFY(QDesktopServices::openUrl(QUrl(QStringLiteral("https://sayri.example/ヘルプ"))));
        QTRY_COMPARE(readFile(opener + ".seen"), QByteArray("https://sayri.example/%E3%83%98%E3%83%AB%E3%83%97\nxcb\nunset\n"));
        qputenv("PATH", path);
        platform.isEmpty() ? qunsetenv("QT_QPA_PLATFORM") : qputenv("QT_QPA_PLATFORM", platform);
        qunsetenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT");
    }

    // A machine whose only Vulkan device is Mesa's software one (the test
    // setup installs it) computes on the processor; the devices are listed by
    // the built sayri in a child, and a probe that cannot run lists none.
    void softwareVulkanOnlyMeansTheProcessor()
    {
        TestDataFolder data;
        Config::bootstrap();
        const QList<GpuDevice> gpus = LinuxComputeDevices(QStringLiteral(SAYRI_APP_PATH)).gpus();
        QVERIFY(!gpus.isEmpty());
        for (const GpuDevice& d : gpus)
            QVERIFY2(d.kind == GpuDevice::Kind::software, qPrintable(d.name));
        const CpuInfo cpu = LinuxComputeDevices({}).cpu();
        QVERIFY(cpu.physicalCores >= 1 && cpu.physicalCores <= QThread::idealThreadCount());
        QVERIFY(!ComputePlan::choose(gpus, cpu).gpu);
        QVERIFY(LinuxComputeDevices(QStringLiteral("/nonexistent/sayri")).gpus().isEmpty());
        QVERIFY2(logMessages().value(0).startsWith(QStringLiteral("GPU の一覧を読めませんでした（")),
                 qPrintable(logMessages().join(u'\n')));
    }

    void microphoneWithoutSoundServer()
    {
        qputenv("PULSE_SERVER", "unix:/nonexistent/sayri-test/native");
        TestDataFolder data;
        Config::bootstrap();
        QVERIFY(PulseAudioInputs().inputs().isEmpty());
        QVERIFY(!PulseAudioInputs().defaultInput());

        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        for (int i = 0; i < 2; ++i) {
            try {
                recorder.start();
                QFAIL("started without a sound server");
            } catch (const RecError& e) {
                QCOMPARE(e.kind, RecError::noInput);
            }
        }
        QCOMPARE(logMessages(), QStringList(2, QStringLiteral("マイクを開けません（音声サーバーにつながりません）")));
        QCOMPARE(recorder.stopAndCollectWav().size(), 44);
        QCOMPARE(recorder.lastLoudness(), 0.0);

        // A configured device cannot be found either: the default is tried.
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("vmic"); });
        QVERIFY_THROWS_EXCEPTION(RecError, recorder.start());
        QCOMPARE(logMessages().mid(2),
                 (QStringList{
                     QStringLiteral("選んだマイクが見つからない（%1）→ パソコンと同じマイクで録音")
                         .arg(Log::伏せた機器名(QStringLiteral("vmic"))),
                     QStringLiteral("マイクを開けません（音声サーバーにつながりません）"),
                 }));
        QVERIFY(recorder.fellBackToDefault());

        // The warm-up finds nothing to open and says nothing.
        PulseCaptureBackend backend;
        AudioRecorder::warmUp(QStringLiteral("vmic"), backend);
        QCOMPARE(logMessages().size(), 4);
    }

    // The mechanisms chosen for the sessions of each desktop family, from
    // what each offers (the globals as sway 1.7, KWin 5.27 and Mutter 43
    // announce them).
    void planPerSession_data()
    {
        using P = SessionPlan;
        QTest::addColumn<SessionCapabilities>("caps");
        QTest::addColumn<SessionPlan>("plan");
        QTest::addColumn<QList<int>>("rowStates");  // ready 0, action 1, unavailable 2
        const QSet<QString> sway{u"zwlr_layer_shell_v1"_s, u"zwlr_data_control_manager_v1"_s,
                                 u"zwp_virtual_keyboard_manager_v1"_s};
        const QSet<QString> kwin{u"zwlr_layer_shell_v1"_s, u"zwlr_data_control_manager_v1"_s};
        const auto wayland = [](QStringList desktops, QSet<QString> globals, bool x = true) {
            SessionCapabilities c;
            c.wayland = true;
            c.desktops = desktops;
            c.globals = globals;
            c.xDisplay = x;
            return c;
        };
        QTest::newRow("X11") << SessionCapabilities{} << P{} << QList<int>{};

        SessionCapabilities c = wayland({u"sway"_s}, sway, false);
        c.swaySocket = true;
        P swayPlan{P::Family::sway, P::Windows::wayland, P::Keys::swayIpc, P::Paste::virtualKeyboard,
                   P::Clipboard::wlrDataControl, P::Front::swayIpc, P::Bar::layerShell, P::Tray::whenWatched};
        QTest::newRow("sway") << c << swayPlan << QList<int>{0, 0, 0};
        c.globals << u"ext_data_control_manager_v1"_s;
        swayPlan.clipboard = P::Clipboard::extDataControl;
        QTest::newRow("sway, ext data-control") << c << swayPlan << QList<int>{0, 0, 0};
        c.swaySocket = false;  // SWAYSOCK unset: the keyboard itself, where readable
        c.inputReadable = true;
        swayPlan.keys = P::Keys::evdev;
        swayPlan.front = P::Front::x11;
        QTest::newRow("sway without its socket") << c << swayPlan << QList<int>{0, 0, 0};

        c = wayland({u"kde"_s}, kwin);
        const P kde{P::Family::kde, P::Windows::wayland, P::Keys::xinput, P::Paste::none,
                    P::Clipboard::wlrDataControl, P::Front::x11, P::Bar::layerShell, P::Tray::whenWatched};
        QTest::newRow("KDE") << c << kde << QList<int>{0, 2, 0};
        c.kwinEavesdrop = u"None"_s;
        c.uinputPresent = c.uinputWritable = true;
        P kdeDeaf = kde;
        kdeDeaf.keys = P::Keys::none;
        kdeDeaf.paste = P::Paste::uinput;
        QTest::newRow("KDE, keys kept from X11, uinput granted") << c << kdeDeaf << QList<int>{1, 0, 0};

        c = wayland({u"ubuntu"_s, u"gnome"_s}, {u"wl_seat"_s});
        const P gnome{P::Family::gnome, P::Windows::xcb, P::Keys::none, P::Paste::none,
                      P::Clipboard::qt, P::Front::x11, P::Bar::x11Window, P::Tray::whenWatched};
        QTest::newRow("GNOME, nothing granted") << c << gnome << QList<int>{1, 2, 0};
        c.inputReadable = c.uinputPresent = c.uinputWritable = true;
        P gnomeGranted = gnome;
        gnomeGranted.keys = P::Keys::evdev;
        gnomeGranted.paste = P::Paste::uinput;
        QTest::newRow("GNOME, input group and uinput") << c << gnomeGranted << QList<int>{0, 0, 0};

        c = wayland({}, {u"wl_seat"_s, u"zwp_virtual_keyboard_manager_v1"_s}, false);
        const P bare{P::Family::other, P::Windows::wayland, P::Keys::none, P::Paste::none,
                     P::Clipboard::qt, P::Front::x11, P::Bar::toplevel, P::Tray::whenWatched};
        QTest::newRow("no X display, no layer-shell, no data-control") << c << bare << QList<int>{1, 2, 2};
    }

    void planPerSession()
    {
        QFETCH(SessionCapabilities, caps);
        QFETCH(SessionPlan, plan);
        QFETCH(QList<int>, rowStates);
        QVERIFY(selectPlan(caps) == plan);
        QList<int> states;
        for (const SetupRow& row : setupRows(caps, plan))
            states << int(row.state);
        QCOMPARE(states, rowStates);
    }

    // The paste keystroke presses the key that types "v" in the layout in
    // use; a Cyrillic layout beside a Latin one finds it in the Latin one.
    void keymapFindsTheLetter()
    {
        QCOMPARE(Keymap::fromNames(u"us"_s)->find(XKB_KEY_v), (Keymap::Key{47, 0}));
        QCOMPARE(Keymap::fromNames(u"us"_s, u"dvorak"_s)->find(XKB_KEY_v), (Keymap::Key{52, 0}));
        QCOMPARE(Keymap::fromNames(u"ru,us"_s)->find(XKB_KEY_v), (Keymap::Key{47, 1}));
        QCOMPARE(Keymap::fromNames(u"us"_s)->find(XKB_KEY_Control_L), (Keymap::Key{29, 0}));
    }

    // sway's messages arrive in pieces and several at once.
    void swayMessagesInPieces()
    {
        const QByteArray two = SwayIpc::encode(SwayIpc::bindingEvent, "{\"a\":1}") + SwayIpc::encode(0, "[]");
        QByteArray buffer = two.left(20);
        QVERIFY(SwayIpc::takeMessages(buffer).isEmpty());
        buffer += two.mid(20);
        const auto messages = SwayIpc::takeMessages(buffer);
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages[0].type, SwayIpc::bindingEvent);
        QCOMPARE(messages[0].payload, QByteArray("{\"a\":1}"));
        QCOMPARE(messages[1].payload, QByteArray("[]"));
        QVERIFY(buffer.isEmpty());
        buffer = "not-ipc-framing-at-all";
        QVERIFY(SwayIpc::takeMessages(buffer).isEmpty() && buffer.isEmpty());
    }

    // A keyboard's records cut anywhere, a repeat, and lost events (the
    // keys held afterwards asked of the device).
    void evdevRecords()
    {
        const auto record = [](std::uint16_t type, std::uint16_t code, int value) {
            input_event e{};
            e.type = type;
            e.code = code;
            e.value = value;
            return QByteArray(reinterpret_cast<const char*>(&e), sizeof e);
        };
        const QByteArray sync = record(EV_SYN, SYN_REPORT, 0);
        using K = EvdevReader::Key;
        EvdevReader reader([] { return std::set<std::uint16_t>{KEY_V}; });
        const QByteArray altDown = record(EV_MSC, MSC_SCAN, 56) + record(EV_KEY, KEY_LEFTALT, 1) + sync;
        QVERIFY(reader.feed(altDown.left(30)).isEmpty());
        QCOMPARE(reader.feed(altDown.mid(30)), (QList<K>{{KEY_LEFTALT, 1}}));
        QCOMPARE(reader.feed(record(EV_KEY, KEY_LEFTALT, 2) + sync), (QList<K>{{KEY_LEFTALT, 2}}));
        QCOMPARE(reader.held(), (std::set<std::uint16_t>{KEY_LEFTALT}));
        const QByteArray lost = record(EV_SYN, SYN_DROPPED, 0) + record(EV_KEY, KEY_X, 1) + sync;
        QCOMPARE(reader.feed(lost), (QList<K>{{KEY_LEFTALT, 0, true}, {KEY_V, 1, true}}));
        QCOMPARE(reader.feed(record(EV_KEY, KEY_V, 0) + sync), (QList<K>{{KEY_V, 0}}));
        QVERIFY(reader.held().empty());
    }
};

QTEST_GUILESS_MAIN(TestLinuxSession)
#include "tst_LinuxSession.moc"
