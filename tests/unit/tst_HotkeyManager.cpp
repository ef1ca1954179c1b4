// The trigger-key rules, driven through a scripted key source and clock.
#include "FakeKeySource.h"
#include "Fakes.h"
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "desktop/HotkeyManager.h"
#include "store/Config.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Step {
    double t;
    char kind;  // 'f' modifier flags changed, 'k' key down
    std::int64_t code;
    std::uint64_t flags;
};

using Steps = QList<Step>;
using Times = QList<double>;
constexpr std::uint64_t opt = 0x80000, ctrl = 0x40000;

struct Rig {
    explicit Rig(const QString& trigger = QStringLiteral("option"))
    {
        auto owned = std::make_unique<FakeKeySource>();
        source = owned.get();
        manager = std::make_unique<HotkeyManager>(std::move(owned), TriggerKey::find(trigger), [this] { return now; });
        manager->onTap = [this](double t) { taps.append(t); };
        manager->onEsc = [this] { ++escapes; };
        manager->start();
    }
    void play(const Steps& steps)
    {
        for (const Step& s : steps) {
            now = s.t;
            source->send(s.kind == 'f' ? KeyEventType::flagsChanged : KeyEventType::keyDown, s.code, s.flags);
        }
    }

    double now = 100;
    FakeKeySource* source = nullptr;
    std::unique_ptr<HotkeyManager> manager;
    Times taps;
    int escapes = 0;
};

}  // namespace

Q_DECLARE_METATYPE(Steps)

class TestHotkeyManager : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void gestures_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<Times>("taps");

        QTest::newRow("two taps, each at its release")
            << "option" << Steps{{0, 'f', 58, opt}, {0.1, 'f', 58, 0}, {0.3, 'f', 58, opt}, {0.4, 'f', 58, 0}}
            << Times{0.1, 0.4};
        QTest::newRow("held exactly 0.5 s") << "option" << Steps{{0, 'f', 58, opt}, {0.5, 'f', 58, 0}} << Times{};
        QTest::newRow("both Option keys: one tap at the final release")
            << "option" << Steps{{0, 'f', 58, opt}, {0.1, 'f', 61, opt}, {0.2, 'f', 61, opt}, {0.3, 'f', 58, 0}}
            << Times{0.3};
        QTest::newRow("both Option keys, final release too late")
            << "option" << Steps{{0, 'f', 58, opt}, {0.1, 'f', 61, opt}, {0.2, 'f', 58, opt}, {0.55, 'f', 61, 0}}
            << Times{};
        QTest::newRow("Ctrl, whose flag is an other-modifier bit")
            << "control" << Steps{{0, 'f', 62, ctrl}, {0.2, 'f', 62, 0}} << Times{0.2};
        QTest::newRow("release without a press") << "option" << Steps{{0, 'f', 58, 0}} << Times{};
        QTest::newRow("a spoilt gesture does not spoil the next")
            << "option"
            << Steps{{0, 'f', 58, opt}, {0.1, 'k', 8, opt}, {0.2, 'f', 58, 0}, {1, 'f', 58, opt}, {1.2, 'f', 58, 0}}
            << Times{1.2};
    }

    void gestures()
    {
        QFETCH(QString, trigger);
        QFETCH(Steps, steps);
        QFETCH(Times, taps);
        TestDataFolder data;
        Rig rig(trigger);
        rig.play(steps);
        QCoreApplication::processEvents();
        QCOMPARE(rig.taps, taps);
    }

    void callbacksAreQueuedToTheMainThread()
    {
        TestDataFolder data;
        Rig rig;
        rig.play({{0, 'f', 58, opt}, {0.1, 'f', 58, 0}, {0.2, 'k', 53, 0}});
        QVERIFY(rig.taps.isEmpty());
        QCOMPARE(rig.escapes, 0);
        QTRY_COMPARE(rig.taps, Times{0.1});
        QTRY_COMPARE(rig.escapes, 1);

        // Only a press of the trigger key alone is followed by an inert key.
        auto keys = std::make_shared<FakeKeySynthesizer>();
        rig.manager->maskLonePresses(keys);
        rig.play({{1, 'f', 58, opt},
                  {1.1, 'f', 61, opt},
                  {1.2, 'f', 61, opt},
                  {1.3, 'f', 58, 0},
                  {2, 'f', 59, ctrl},
                  {2.1, 'f', 58, ctrl | opt},
                  {2.2, 'f', 58, ctrl},
                  {2.3, 'f', 59, 0}});
        QCOMPARE(keys->inertKeys, 1);
        QTRY_COMPARE(rig.taps, (Times{0.1, 1.3}));

        // A report still queued when the manager goes is delivered without it.
        rig.play({{3, 'f', 58, opt}, {3.1, 'f', 58, 0}});
        rig.manager.reset();
        QTRY_COMPARE(rig.taps.size(), 3);
    }

    // The settings window's choice while the old key is held: saved, switched
    // (the held press forgotten), told on the bar. An id the
    // table does not offer (another platform's, none, a foreign one) is stored
    // as given; the key in use and the texts are the first row's.
    void applyTriggerKey()
    {
        for (const auto& [id, active] : {std::pair{u"rightShift"_s, u"rightShift"_s},
                                         {u"fn"_s, u"option"_s},
                                         {QString(), u"option"_s},
                                         {u"capsLock"_s, u"option"_s}}) {
            const QString label = TriggerKey::find(active).label;
            TestDataFolder data;
            Config::bootstrap();
            Rig rig(QStringLiteral("control"));
            auto* bar = new FakeOverlay;
            AppServices services;
            services.overlay.reset(bar);
            services.hotkeys = std::move(rig.manager);
            auto* hotkeys = static_cast<HotkeyManager*>(services.hotkeys.get());
            AppState state(std::move(services));

            rig.play({{0, 'f', 59, ctrl}});
            state.applyTriggerKey(id);

            QCOMPARE(hotkeys->trigger().id, active);
            QVERIFY(data.readText(QStringLiteral("config.json"))
                        .contains(QStringLiteral("\"triggerKeyId\": \"%1\"").arg(id)));
            QCOMPARE(bar->events,
                     QStringList{QStringLiteral("flash:録音キーを「%1」にしました（2回押しで開始）@2.5").arg(label)});

            const TriggerKey key = TriggerKey::find(active);
            rig.play(
                {{1, 'f', 59, 0}, {1.1, 'f', key.keyCodes.front(), key.flag}, {1.2, 'f', key.keyCodes.front(), 0}});
            QTRY_COMPARE(rig.taps, Times{1.2});
        }
    }
};

QTEST_MAIN(TestHotkeyManager)
#include "tst_HotkeyManager.moc"
