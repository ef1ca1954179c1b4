// The trigger-key rules, driven through a scripted key source and clock.
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "desktop/HotkeyManager.h"
#include "store/Config.h"

#include <QTest>

namespace {

// A key source that delivers what the test scripts; says how often it was
// opened and re-enabled.
class ScriptedKeySource : public KeySource {
public:
    bool open() override
    {
        ++opens;
        open_ = !failOpen;
        return open_;
    }
    bool isOpen() const override { return open_; }
    void enable() override { ++enables; }
    void send(std::uint32_t type, std::int64_t code, std::uint64_t flags) { onEvent(KeyEvent{type, code, flags}); }

    bool failOpen = false;
    int opens = 0;
    int enables = 0;

private:
    bool open_ = false;
};

// Records flashes; everything else is not used by these tests.
class RecordingOverlay : public OverlayView {
public:
    void show(const QString&) override {}
    void flash(const QString& text, double seconds) override { flashes.append({text, seconds}); }
    void hide() override {}
    void showRecordingBar(const QString&, const QString&) override {}
    void updateLevel(float) override {}
    void updateLiveText(const QString&) override {}
    QList<QPair<QString, double>> flashes;
};

struct Step {
    double t;
    char kind;  // 'f' modifier flags changed, 'k' key down
    std::int64_t code;
    std::uint64_t flags;
};

constexpr std::uint64_t opt = 0x80000, shift = 0x20000, ctrl = 0x40000, cmd = 0x100000, fn = 0x800000,
                        caps = 0x10000;

struct Rig {
    explicit Rig(const QString& trigger = QStringLiteral("option"))
    {
        auto owned = std::make_unique<ScriptedKeySource>();
        source = owned.get();
        manager = std::make_unique<HotkeyManager>(std::move(owned), TriggerKey::find(trigger), [this] { return now; });
        manager->onTap = [this](double t) { taps.append(t); };
        manager->onEsc = [this] { ++escapes; };
        manager->start();
    }
    void play(const QList<Step>& steps)
    {
        for (const Step& s : steps) {
            now = s.t;
            source->send(s.kind == 'f' ? KeyEventType::flagsChanged : KeyEventType::keyDown, s.code, s.flags);
        }
    }

    double now = 100;
    ScriptedKeySource* source = nullptr;
    std::unique_ptr<HotkeyManager> manager;
    QList<double> taps;
    int escapes = 0;
};

}  // namespace

Q_DECLARE_METATYPE(QList<Step>)

class tst_HotkeyManager : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void gestures_data();
    void gestures();
    void callbacksAreQueuedToTheMainThread();
    void startOpensTheSourceOnceAndLogs();
    void disabledSourceIsEnabledAgain();
    void switchingTheKeyForgetsAHeldGesture();
    void findFallsBackToTheFirstRow();
    void applyTriggerKey_data();
    void applyTriggerKey();
};

void tst_HotkeyManager::gestures_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<QList<double>>("taps");

    QTest::newRow("clean tap, reported at the release")
        << "option" << QList<Step>{{0, 'f', 58, opt}, {0.3, 'f', 58, 0}} << QList<double>{0.3};
    QTest::newRow("held 0.6 s") << "option" << QList<Step>{{0, 'f', 58, opt}, {0.6, 'f', 58, 0}} << QList<double>{};
    QTest::newRow("held exactly 0.5 s") << "option" << QList<Step>{{0, 'f', 58, opt}, {0.5, 'f', 58, 0}} << QList<double>{};
    QTest::newRow("a key typed while held")
        << "option" << QList<Step>{{0, 'f', 58, opt}, {0.1, 'k', 8, opt}, {0.2, 'f', 58, 0}} << QList<double>{};
    QTest::newRow("Escape while held")
        << "option" << QList<Step>{{0, 'f', 58, opt}, {0.1, 'k', 53, opt}, {0.2, 'f', 58, 0}} << QList<double>{};
    QTest::newRow("Shift pressed and released while held")
        << "option"
        << QList<Step>{{0, 'f', 58, opt}, {0.1, 'f', 56, opt | shift}, {0.15, 'f', 56, opt}, {0.2, 'f', 58, 0}}
        << QList<double>{};
    QTest::newRow("pressed while Shift is held")
        << "option"
        << QList<Step>{{0, 'f', 56, shift}, {0.1, 'f', 58, shift | opt}, {0.2, 'f', 58, shift}, {0.3, 'f', 56, 0}}
        << QList<double>{};
    QTest::newRow("Caps Lock on does not spoil")
        << "option" << QList<Step>{{0, 'f', 58, caps | opt}, {0.2, 'f', 58, caps}} << QList<double>{0.2};
    QTest::newRow("leftOption ignores the right key")
        << "leftOption"
        << QList<Step>{{0, 'f', 61, opt}, {0.2, 'f', 61, 0}, {1, 'f', 58, opt}, {1.2, 'f', 58, 0}}
        << QList<double>{1.2};
    QTest::newRow("rightOption ignores the left key")
        << "rightOption" << QList<Step>{{0, 'f', 58, opt}, {0.2, 'f', 58, 0}} << QList<double>{};
    QTest::newRow("both Option keys: one tap at the final release")
        << "option"
        << QList<Step>{{0, 'f', 58, opt}, {0.1, 'f', 61, opt}, {0.2, 'f', 61, opt}, {0.3, 'f', 58, 0}}
        << QList<double>{0.3};
    QTest::newRow("both Option keys, final release too late")
        << "option"
        << QList<Step>{{0, 'f', 58, opt}, {0.1, 'f', 61, opt}, {0.2, 'f', 58, opt}, {0.55, 'f', 61, 0}}
        << QList<double>{};
    QTest::newRow("fn counts although its flag is an other-modifier bit")
        << "fn" << QList<Step>{{0, 'f', 63, fn}, {0.2, 'f', 63, 0}} << QList<double>{0.2};
    QTest::newRow("right Command, left Command ignored")
        << "rightCommand"
        << QList<Step>{{0, 'f', 55, cmd}, {0.1, 'f', 55, 0}, {1, 'f', 54, cmd}, {1.1, 'f', 54, 0}}
        << QList<double>{1.1};
    QTest::newRow("Control with the other Control")
        << "control" << QList<Step>{{0, 'f', 62, ctrl}, {0.1, 'f', 62, 0}} << QList<double>{0.1};
    QTest::newRow("release without a press") << "option" << QList<Step>{{0, 'f', 58, 0}} << QList<double>{};
    QTest::newRow("a key typed while idle does not spoil the next tap")
        << "option" << QList<Step>{{0, 'k', 8, 0}, {1, 'f', 58, opt}, {1.2, 'f', 58, 0}} << QList<double>{1.2};
    QTest::newRow("a spoilt gesture does not spoil the next")
        << "option"
        << QList<Step>{{0, 'f', 58, opt}, {0.1, 'k', 8, opt}, {0.2, 'f', 58, 0}, {1, 'f', 58, opt}, {1.2, 'f', 58, 0}}
        << QList<double>{1.2};
    QTest::newRow("two taps")
        << "option"
        << QList<Step>{{0, 'f', 58, opt}, {0.1, 'f', 58, 0}, {0.3, 'f', 58, opt}, {0.4, 'f', 58, 0}}
        << QList<double>{0.1, 0.4};
}

void tst_HotkeyManager::gestures()
{
    QFETCH(QString, trigger);
    QFETCH(QList<Step>, steps);
    QFETCH(QList<double>, taps);
    TestDataFolder data;
    Rig rig(trigger);
    rig.play(steps);
    QCoreApplication::processEvents();
    QCOMPARE(rig.taps, taps);
}

void tst_HotkeyManager::callbacksAreQueuedToTheMainThread()
{
    TestDataFolder data;
    Rig rig;
    rig.play({{0, 'f', 58, opt}, {0.1, 'f', 58, 0}, {0.2, 'k', 53, 0}});
    QVERIFY(rig.taps.isEmpty());
    QCOMPARE(rig.escapes, 0);
    QTRY_COMPARE(rig.taps, QList<double>{0.1});
    QTRY_COMPARE(rig.escapes, 1);

    // A report still queued when the manager goes is delivered without it.
    rig.play({{1, 'f', 58, opt}, {1.1, 'f', 58, 0}});
    rig.manager.reset();
    QTRY_COMPARE(rig.taps.size(), 2);
}

void tst_HotkeyManager::startOpensTheSourceOnceAndLogs()
{
    TestDataFolder data;
    Config::bootstrap();
    auto owned = std::make_unique<ScriptedKeySource>();
    ScriptedKeySource* source = owned.get();
    source->failOpen = true;
    HotkeyManager manager(std::move(owned));

    manager.start();
    QVERIFY(!manager.isStarted());
    QVERIFY(data.readText(QStringLiteral("sayri.log")).contains(QStringLiteral("] キー監視の開始に失敗（アクセシビリティ未許可の可能性）\n")));

    source->failOpen = false;
    manager.start();
    QVERIFY(manager.isStarted());
    QVERIFY(data.readText(QStringLiteral("sayri.log")).contains(QStringLiteral("] キー監視を開始\n")));
    manager.start();
    QCOMPARE(source->opens, 2);
}

void tst_HotkeyManager::disabledSourceIsEnabledAgain()
{
    TestDataFolder data;
    Rig rig;
    rig.source->send(KeyEventType::disabledByTimeout, 0, 0);
    rig.source->send(KeyEventType::disabledByUserInput, 0, 0);
    QCOMPARE(rig.source->enables, 2);
}

void tst_HotkeyManager::switchingTheKeyForgetsAHeldGesture()
{
    TestDataFolder data;
    Rig rig;
    rig.play({{0, 'f', 58, opt}});
    rig.manager->setTrigger(QStringLiteral("rightShift"));
    rig.play({{1, 'f', 58, 0}, {1.1, 'f', 60, shift}, {1.2, 'f', 60, 0}});
    QCoreApplication::processEvents();
    QCOMPARE(rig.taps, QList<double>{1.2});
}

void tst_HotkeyManager::findFallsBackToTheFirstRow()
{
    QCOMPARE(TriggerKey::find(QStringLiteral("rightShift")).label, QStringLiteral("右のShift"));
    QCOMPARE(TriggerKey::find(QStringLiteral("RightShift")).id, QStringLiteral("option"));
    QCOMPARE(TriggerKey::find(QString()).id, QStringLiteral("option"));
}

void tst_HotkeyManager::applyTriggerKey_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("active");
    QTest::addColumn<QString>("label");
    QTest::newRow("a row of the table") << "rightShift" << "rightShift" << "右のShift";
    // An unknown id is stored as given; the key in use and the texts are the first row's.
    QTest::newRow("unknown id") << "capsLock" << "option" << "Option（左右どちらでも）";
}

// The settings window's choice: saved, switched (a held gesture forgotten),
// told on the bar and in the log.
void tst_HotkeyManager::applyTriggerKey()
{
    QFETCH(QString, id);
    QFETCH(QString, active);
    QFETCH(QString, label);
    TestDataFolder data;
    Config::bootstrap();
    Rig rig(QStringLiteral("control"));
    auto overlay = std::make_unique<RecordingOverlay>();
    RecordingOverlay* bar = overlay.get();
    AppServices services;
    services.overlay = std::move(overlay);
    services.hotkeys = std::move(rig.manager);
    HotkeyManager* hotkeys = static_cast<HotkeyManager*>(services.hotkeys.get());
    AppState state(std::move(services));

    rig.play({{0, 'f', 59, ctrl}});  // the old key held
    state.applyTriggerKey(id);

    QCOMPARE(hotkeys->trigger().id, active);
    QCOMPARE(Config::shared().triggerKeyId, id);
    QVERIFY(data.readText(QStringLiteral("config.json")).contains(QStringLiteral("\"triggerKeyId\": \"%1\"").arg(id)));
    QCOMPARE(bar->flashes.size(), 1);
    QCOMPARE(bar->flashes[0].first, QStringLiteral("録音キーを「%1」にしました（2回押しで開始）").arg(label));
    QCOMPARE(bar->flashes[0].second, 2.5);
    QVERIFY(data.readText(QStringLiteral("sayri.log")).contains(QStringLiteral("] 録音キーを変更: %1\n").arg(label)));

    const std::int64_t code = TriggerKey::find(active).keyCodes.front();
    const std::uint64_t flag = TriggerKey::find(active).flag;
    rig.play({{1, 'f', 59, 0}, {1.1, 'f', code, flag}, {1.2, 'f', code, 0}});
    QTRY_COMPARE(rig.taps, QList<double>{1.2});
}

QTEST_MAIN(tst_HotkeyManager)
#include "tst_HotkeyManager.moc"
