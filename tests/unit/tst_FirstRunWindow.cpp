// The first-run window with fake platform pieces: where `進む` and the navigation
// row lead, the summary, `必要`, the height, the poll, and finishing once.
#include "Fakes.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "provision/ModelSetup.h"
#include "store/Config.h"
#include "ui/ActionButton.h"
#include "ui/FirstRunWindow.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using Step = FirstRunWindow::Step;
Q_DECLARE_METATYPE(FirstRunWindow::Step)

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
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        keys.isTrusted = true;
        sounds.played.clear();
    }
    void cleanup() { data.reset(); }

    void movingOnSkipsSatisfiedSteps_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<bool>("live");
        QTest::addColumn<Step>("after");
        QTest::addColumn<Step>("shown");
        QTest::newRow("all set") << true << 2 << false << Step::ようこそ << Step::完了;
        QTest::newRow("no key source") << false << 2 << false << Step::ようこそ << Step::貼り付け;
        QTest::newRow("no server program") << true << 1 << false << Step::ようこそ << Step::モデル;
        QTest::newRow("live engine without its data") << true << 0 << true << Step::マイク << Step::仮表示;
        QTest::newRow("nothing skipped") << false << 0 << false << Step::マイク << Step::貼り付け;
        QTest::newRow("step not in use") << false << 0 << false << Step::仮表示 << Step::完了;
    }
    void movingOnSkipsSatisfiedSteps()
    {
        QFETCH(bool, trusted);
        QFETCH(int, pieces);
        QFETCH(bool, live);
        QFETCH(Step, after);
        setPieces(pieces);
        keys.isTrusted = trusted;
        FirstRunWindow w(keys, sounds, live);
        w.buildWindow();
        w.進む(after);
        QTEST(w.current(), "shown");
    }

    void navigationRowShowsNeighbours_data()
    {
        QTest::addColumn<bool>("live");
        QTest::addColumn<Step>("step");
        QTest::addColumn<int>("previous");  // -1: no such button
        QTest::addColumn<int>("next");
        QTest::newRow("first") << false << Step::ようこそ << -1 << int(Step::マイク);
        QTest::newRow("satisfied neighbour") << false << Step::マイク << int(Step::ようこそ) << int(Step::貼り付け);
        QTest::newRow("with live engine") << true << Step::貼り付け << int(Step::仮表示) << int(Step::モデル);
        QTest::newRow("last") << false << Step::完了 << int(Step::モデル) << -1;
    }
    void navigationRowShowsNeighbours()
    {
        QFETCH(bool, live);
        QFETCH(Step, step);
        QFETCH(int, previous);
        QFETCH(int, next);
        setPieces(2);
        FirstRunWindow w(keys, sounds, live);
        w.buildWindow();
        for (const auto& [title, expected] :
             {std::pair{QStringLiteral("← 前へ"), previous}, {QStringLiteral("次へ →"), next}}) {
            w.show(step);
            ActionButton* b = button(w, title);
            QCOMPARE(b != nullptr, expected >= 0);
            if (b) {
                b->click();
                QCOMPARE(int(w.current()), expected);
            }
        }
    }

    void summaryInTheLog()
    {
        keys.isTrusted = false;
        FirstRunWindow w(keys, sounds, true);
        w.buildWindow();
        w.show(Step::マイク);
        QVERIFY(logContains(
            QStringLiteral("はじめの準備: マイク を表示　マイク=許可 音声認識=未決定 自動貼り付け=未許可")));
    }

    void neededWhileAnythingIsMissing_data()
    {
        QTest::addColumn<bool>("marker");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<bool>("pieces");
        QTest::addColumn<bool>("needed");
        QTest::newRow("ready") << false << true << true << false;
        QTest::newRow("marker") << true << true << true << true;
        QTest::newRow("no key source") << false << false << true << true;
        QTest::newRow("no model") << false << true << false << true;
    }
    void neededWhileAnythingIsMissing()
    {
        QFETCH(bool, marker);
        QFETCH(bool, trusted);
        QFETCH(bool, pieces);
        setPieces(pieces ? 2 : 0);
        if (marker)
            data->writeText(QStringLiteral(".forcesetup"), QString());
        keys.isTrusted = trusted;
        FirstRunWindow w(keys, sounds, false);
        QTEST(w.必要(), "needed");
        QCOMPARE(data->readText(QStringLiteral("config.json")).contains(ModelSetup::modelsDir()), pieces);
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

    void finishesOnceAndNeverByClose()
    {
        setPieces(2);
        data->writeText(QStringLiteral(".forcesetup"), QString());
        FirstRunWindow w(keys, sounds, false);
        int finished = 0;
        w.begin([&] { ++finished; });
        w.window()->close();
        QTRY_VERIFY(w.window()->isVisible());
        QCOMPARE(finished, 0);

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
