#pragma once

#include "LogFile.h"
#include "PasteTarget.h"
#include "WhisperStandIn.h"
#include "WaylandKeys.h"
#include "XTestKeys.h"

#include "store/Config.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <functional>

// The built Sayri (or the copy SAYRI_APP names) in the desktop session, as
// the tests that start it need it: its settings pointed at the whisper-server
// stand-in, Alt tapped on the keyboard, speech played into the virtual
// microphone. Ended by its PID when the object goes. The keys come through
// XTest, or in a Wayland session RunningSayriWith<WaylandKeys>.
//
//   RunningSayri sayri;
//   sayri.standIn.setReplies(...);
//   QVERIFY(sayri.startListening());
//   PasteTarget target;
//   QVERIFY(sayri.dictate(target));
//   QTRY_COMPARE(target.text(), ...);
template <class Keys> class RunningSayriWith {
public:
    static inline const QString spoken = QStringLiteral("今日は晴れです。明日も晴れるでしょう。");

    RunningSayriWith() { app.setProcessChannelMode(QProcess::ForwardedChannels); }
    ~RunningSayriWith()
    {
        if (app.state() != QProcess::NotRunning)
            terminate();
    }

    static QString path() { return qEnvironmentVariable("SAYRI_APP", QStringLiteral(SAYRI_APP_PATH)); }
    void launch(const QStringList& arguments = {})
    {
        app.start(path(), arguments);
        app.waitForStarted();
    }
    // Points the settings at the stand-in and launches as at login (no window
    // takes the focus); true once it watches keys and its server answers.
    bool startListening()
    {
        Config::bootstrap();
        standIn.configure(WhisperStandIn::freePort());
        Config::save();
        const auto watching = [] { return logMessages().count(QStringLiteral("キー監視を開始")); };
        const qsizetype watched = watching(), answered = standIn.requests().size();
        launch({QStringLiteral("--login-item")});
        const bool ready = QTest::qWaitFor([&] { return watching() > watched; }, 10000)
                           && QTest::qWaitFor([&] { return standIn.requests().size() > answered; }, 20000);
        QTest::qWait(300);  // the ready message has come and gone over to the bar
        return ready;
    }
    // SIGTERM; true when it ended by itself with status 0.
    bool terminate()
    {
        if (app.processId() <= 0)  // never 0: that would be the test's own process group
            return false;
        ::kill(pid_t(app.processId()), SIGTERM);
        return app.waitForFinished(10000) && app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0;
    }

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
    // A WAV of `spoken`, made by espeak-ng the first time.
    static QString speechFile()
    {
        const QString file = QDir::homePath() + QStringLiteral("/speech.wav");
        if (!QFile::exists(file))
            QProcess::execute(QStringLiteral("espeak-ng"),
                              {QStringLiteral("-v"), QStringLiteral("ja"), QStringLiteral("-w"), file, spoken});
        return file;
    }
    int recordings() const { return int(logMessages().join(u'\n').count(QStringLiteral("録音開始"))); }

    // A whole dictation into a fresh target window, the speech played until
    // its end; with `logged`, once the log says that recording started and
    // `whileRecording` is done.
    bool dictate(PasteTarget& target, bool logged = true, const std::function<void()>& whileRecording = {})
    {
        return target.start() && dictateHere(logged, whileRecording);
    }
    // The same into the window that has the focus.
    bool dictateHere(bool logged = true, const std::function<void()>& whileRecording = {})
    {
        const int before = recordings();
        taps(2);
        if (logged && !QTest::qWaitFor([&] { return recordings() > before; }, 5000))
            return false;
        QTest::qWait(logged ? 0 : 800);
        if (whileRecording)
            whileRecording();
        const bool spoke =
            QProcess::execute(QStringLiteral("paplay"), {QStringLiteral("--device=vsink"), speechFile()}) == 0;
        taps(1);
        return spoke;
    }

    WhisperStandIn standIn;
    QProcess app;
    Keys keys;
};

struct PhysicalXTestKeys : XTestKeys {
    PhysicalXTestKeys() : XTestKeys(XTestKeys::physicalKeyboard) {}
};
using RunningSayri = RunningSayriWith<PhysicalXTestKeys>;
