// The first-run window with fake platform pieces: where `進む` and the navigation
// row lead, `必要`, the height, the poll, and finishing once.
#include "Fakes.h"
#include "TestDataFolder.h"

#include "provision/ModelSetup.h"
#include "store/Config.h"
#include "ui/ActionButton.h"
#include "ui/FirstRunWindow.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using Step = FirstRunWindow::Step;
using namespace Qt::StringLiterals;

class TestFirstRunWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    FakeKeyboardAccess keys;
    FakeSounds sounds;

    // 2: a model (sparse) in the models folder and a server program; 1: the
    // model alone; 0: neither.
    void setPieces(int present)
    {
        if (present > 0) {
            QVERIFY(QDir().mkpath(ModelSetup::modelsDir()));
            QFile file(ModelSetup::modelsDir() + u'/' + ModelSetup::modelFileName);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(500000000));
        }
        Config::edit([&](ConfigData& c) {
            c.whisperModelPath = data->root() + QStringLiteral("/none.bin");
            c.whisperBinary = present == 2 ? QStringLiteral("/bin/true") : data->root() + QStringLiteral("/none");
        });
    }

    static ActionButton* button(FirstRunWindow& w, const QString& prefix)
    {
        for (auto* b : w.window()->findChildren<ActionButton*>())
            if (!b->isHidden() && b->text().startsWith(prefix))
                return b;
        return nullptr;
    }

private Q_SLOTS:
    void init()
    {
        data.reset();  // first: it restores the environment it found
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        keys.isTrusted = true;
        sounds.played.clear();
    }
    void cleanup() { data.reset(); }

    void movingOnSkipsSatisfiedSteps()
    {
        struct Case {
            bool trusted;
            int pieces;
            bool live;
            Step after, shown;
        };
        for (const auto& [trusted, pieces, live, after, shown] :
             {Case{true, 2, false, Step::ようこそ, Step::完了},       // all set
              Case{false, 2, false, Step::ようこそ, Step::貼り付け},  // no key source
              Case{true, 1, false, Step::ようこそ, Step::モデル},     // no server program
              Case{true, 0, true, Step::マイク, Step::仮表示},        // live engine without its data
              Case{false, 0, false, Step::マイク, Step::貼り付け},    // nothing skipped
              Case{false, 0, false, Step::仮表示, Step::完了}}) {     // step not in use
            init();
            setPieces(pieces);
            keys.isTrusted = trusted;
            FirstRunWindow w(keys, sounds, live);
            w.buildWindow();
            w.進む(after);
            QCOMPARE(w.current(), shown);
        }
    }

    void navigationRowShowsNeighbours()
    {
        setPieces(2);
        const int none = -1;
        for (const auto& [live, step, previous, next] :
             {std::tuple{false, Step::ようこそ, none, int(Step::マイク)},
              {false, Step::マイク, int(Step::ようこそ), int(Step::貼り付け)},  // a satisfied neighbour
              {true, Step::貼り付け, int(Step::仮表示), int(Step::モデル)},     // with the live engine
              {false, Step::完了, int(Step::モデル), none}}) {
            FirstRunWindow w(keys, sounds, live);
            w.buildWindow();
            for (const auto& [title, expected] : {std::pair{u"← 前へ"_s, previous}, {u"次へ →"_s, next}}) {
                w.show(step);
                ActionButton* b = button(w, title);
                QCOMPARE(b != nullptr, expected != none);
                if (b) {
                    b->click();
                    QCOMPARE(int(w.current()), expected);
                }
            }
        }
    }

    void neededWhileAnythingIsMissing()
    {
        for (const auto& [marker, trusted, pieces, needed] : {std::tuple{false, true, true, false},  // ready
                                                              {true, true, true, true},
                                                              {false, false, true, true},     // no key source
                                                              {false, true, false, true}}) {  // no model
            init();  // a fresh data folder for each case
            setPieces(pieces ? 2 : 0);
            if (marker)
                data->writeText(u".forcesetup"_s, QString());
            keys.isTrusted = trusted;
            FirstRunWindow w(keys, sounds, false);
            QCOMPARE(w.必要(), needed);
            QCOMPARE(data->readText(u"config.json"_s).contains(ModelSetup::modelsDir()), pieces);
        }
    }

    void heightFitsTheScreen()
    {
        const std::optional<QRect> visible(QRect(0, 30, 1280, 800));
        for (const auto& [top, needed, area, frame] :
             {std::tuple{100, 200, visible, QRect(50, 100, 520, 320)},        // short content
              {100, 900, visible, QRect(50, 30 + 20, 520, 760)},              // too tall
              {0, 400, visible, QRect(50, 30 + 20, 520, 400)},                // above the screen
              {100, 900, std::optional<QRect>(), QRect(50, 100, 520, 860)}})  // no screen
            QCOMPARE(FirstRunWindow::fittedFrame(QRect(50, top, 520, 430), needed, area), frame);
    }

    void pollSoundsAndTurnsTheLastStep()
    {
        setPieces(2);
        keys.isTrusted = false;
        FirstRunWindow w(keys, sounds, false);
        w.buildWindow();
        w.show(Step::完了);
        QVERIFY(button(w, QStringLiteral("あとで設定する")));
        keys.isTrusted = true;
        QTRY_VERIFY_WITH_TIMEOUT(button(w, QStringLiteral("同意してはじめる")), 3000);
        QCOMPARE(sounds.played, QStringList{QStringLiteral("Glass")});
    }

    void finishesOnce()
    {
        setPieces(2);
        data->writeText(QStringLiteral(".forcesetup"), QString());
        FirstRunWindow w(keys, sounds, false);
        int finished = 0;
        w.begin([&] { ++finished; });
        w.show(Step::完了);
        QPointer<QWidget> window = w.window();
        button(w, QStringLiteral("同意してはじめる"))->click();
        QCOMPARE(finished, 1);
        QVERIFY(!QFile::exists(data->file(QStringLiteral(".forcesetup"))));
        QVERIFY(!window || !window->isVisible());
        w.finish();
        QCOMPARE(finished, 1);
    }
};

QTEST_MAIN(TestFirstRunWindow)
#include "tst_FirstRunWindow.moc"
