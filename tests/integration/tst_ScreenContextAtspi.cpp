// Screen-context hints over the real accessibility bus: a Qt window made
// frontmost, its text read through AT-SPI, real applications and the faults a
// desktop can throw at it (how the terms join the recognition prompt and the
// length limits are the unit tests').
#include "DesktopProbe.h"
#include "LogFile.h"
#include "ScreenWindow.h"
#include "TestDataFolder.h"

#include "desktop/ScreenContext.h"
#include "platform/linux/AtspiTree.h"
#include "platform/linux/X11FrontmostApp.h"
#include "store/Config.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// What the terms window shows, picked: the two words seen twice, then the
// long one seen once. The password field's word never.
const QStringList termsOfTheWindow{u"TypeScript"_s, u"Kubernetes"_s, u"音声認識"_s, u"プロジェクト"_s};

// The desktop's accessibility switch, after setting it when `on` is given.
bool accessibilityEnabled(std::optional<bool> on = std::nullopt)
{
    const QString call = u"dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                         u"org.freedesktop.DBus.Properties.%1 string:org.a11y.Status string:IsEnabled"_s;
    if (on)
        DesktopProbe::run(call.arg(u"Set"_s) + (*on ? u" variant:boolean:true"_s : u" variant:boolean:false"_s));
    return DesktopProbe::run(call.arg(u"Get"_s)).value_or(QString()).contains(u"boolean true"_s);
}

// A document's text, and the terms it gives (each seen twice).
const QString documentText = u"株式会社サイリ技研の俯瞰図について\nKubernetesクラスタの構成を説明します。"
                             u"株式会社サイリ技研の俯瞰図を見ながら、Kubernetesクラスタの設定を確認します。"_s;
const QStringList termsOfTheDocument = u"Kubernetes 株式会社 クラスタ サイリ 俯瞰図 技研"_s.split(u' ');
// What the applications' menus, toolbars and widgets say.
const QStringList wordsOfTheApplications = u"File Edit Line Find Paste Save Template Spaces Open Ctrl GtkScrollbar "
                                           u"AdwGizmo GtkRange Firefox page context menu Translate Back"_s.split(u' ');

}  // namespace

class TestScreenContextAtspi : public QObject {
    Q_OBJECT

    TestDataFolder data_;
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
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        data_.writeText(u"dictionary.txt"_s, QString());
    }

    void switchingAccessibilityOn()
    {
        // A Qt program decides at its start whether to publish its tree: one
        // started while the desktop's accessibility is off exposes nothing.
        QVERIFY(!accessibilityEnabled(false));
        ScreenWindow early({u"terms"_s});
        QVERIFY(early.start());
        QTest::qWait(1000);
        QCOMPARE(capture(), QStringList());

        screen_.prepare();
        QTRY_VERIFY_WITH_TIMEOUT(accessibilityEnabled(), 10000);
        early.close();
        ScreenWindow window({u"terms"_s});
        QVERIFY(window.start());
        QStringList terms;
        (void)QTest::qWaitFor([&] { return !(terms = capture()).isEmpty(); }, 15000);
        QCOMPARE(terms, termsOfTheWindow);
        // The text read stays out of the log.
        QVERIFY(!data_.readText(u"sayri.log"_s).contains(u"議事録"_s));
        QVERIFY(!textOf(window).contains(u"PassphraseSecret"_s));

        // A hanging application: the walk gives up on it, the terms go empty.
        window.stop();
        screen_.capture();
        QTRY_VERIFY_WITH_TIMEOUT(screen_.currentTerms().isEmpty(), 10000);
        QVERIFY(settled());
        window.resume();
        QTRY_COMPARE_WITH_TIMEOUT(capture(), termsOfTheWindow, 10000);

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
            QVERIFY(!tree->activeWindow(window.pid()));
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

    // Real applications holding a document give its terms, never their menus' or widgets' words;
    // Chromium started without accessibility keeps its page to itself, and the log says why.
    void hintsFromRealApplications_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<bool>("readable");
        const QString chromium = u"chromium --no-sandbox --no-first-run --disable-gpu --user-data-dir=%1/chromium"_s;
        QTest::newRow("GTK 3: mousepad") << u"mousepad %1/文書.txt"_s.split(u' ') << true;
        QTest::newRow("GTK 4: gnome-text-editor")
            << u"gnome-text-editor --standalone %1/文書.txt"_s.split(u' ') << true;
        QTest::newRow("Chromium")
            << (chromium + u" --force-renderer-accessibility --app=file://%1/page.html"_s).split(u' ') << true;
        QTest::newRow("Firefox") << u"firefox-esr --no-remote --profile %1 file://%1/page.html"_s.split(u' ') << true;
        QTest::newRow("Chromium, accessibility not asked for")
            << (chromium + u" --app=file://%1/page.html"_s).split(u' ') << false;
    }

    void hintsFromRealApplications()
    {
        QFETCH(QStringList, command);
        QFETCH(bool, readable);
        QVERIFY(accessibilityEnabled(true));
        data_.writeText(u"文書.txt"_s, documentText);
        data_.writeText(u"page.html"_s,
                        u"<!doctype html><meta charset=utf-8><title>文書</title><h1>%1</h1><p>%2</p>"_s.arg(
                            documentText.section(u'\n', 0, 0), documentText.section(u'\n', 1)));
        data_.writeText(u"user.js"_s, u"user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");"_s);
        command.replaceInStrings(u"%1"_s, QFileInfo(Config::file(u"user.js"_s)).path());  // Firefox's profile too
        QProcess program;  // ended by its PID when it goes
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setStandardErrorFile(QProcess::nullDevice());
        program.start(command.takeFirst(), command);
        const auto stop = qScopeGuard([&] { program.terminate(), program.waitForFinished(10000); });
        QStringList terms;
        const auto done = [&] {
            terms = capture();
            return readable ? std::all_of(termsOfTheDocument.begin(), termsOfTheDocument.end(),
                                          [&](auto& t) { return terms.contains(t); })
                            : !logMessages().filter(u"公開していないため"_s).isEmpty();
        };
        QVERIFY2(QTest::qWaitFor(done, 60000), qPrintable(terms.join(u'、')));
        for (const QString& word : wordsOfTheApplications + (readable ? QStringList() : termsOfTheDocument))
            QVERIFY2(!terms.contains(word), qPrintable(terms.join(u'、')));
    }
};

QTEST_MAIN(TestScreenContextAtspi)
#include "tst_ScreenContextAtspi.moc"
