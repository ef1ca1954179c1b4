// Dictation into real applications from Debian, one after the other, as a user
// makes it: each application opens a document, Sayri (on the stand-in server)
// is started once, Alt is tapped twice on the keyboard, speech is played into
// the virtual microphone, Alt is tapped once more. Each row checks that the
// text arrived whole and once, in the application's own file, window title or
// the clipboard it fills when asked to copy everything, and whether the
// request's prompt carried the document's words and none of the application's
// menus. The run writes the table docs/applications.md is copied from
// (applications.md in the build folder).
#include "DesktopProbe.h"
#include "LogFile.h"
#include "RunningSayri.h"
#include "SampleDocument.h"
#include "TestDataFolder.h"

#include "desktop/Paster.h"
#include "desktop/ScreenContext.h"
#include "platform/linux/atspi/AtspiTree.h"
#include "platform/linux/x11/X11FrontmostApp.h"
#include "store/Config.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSysInfo>
#include <QtTest>

using DesktopProbe::run;
using namespace Qt::StringLiterals;

namespace {

// Of the applications' words, those of closed menus and unnamed widgets: a
// toolbar's buttons are on screen, and their names may come along.
const QStringList wordsOfClosedMenus = u"File Edit Line Template Spaces Ctrl GtkScrollbar AdwGizmo GtkRange "
                                       u"Firefox page context menu Translate"_s.split(u' ');

const QString pasted = u"今日は晴れです。"_s;

QString keystrokeName(PasteKeystroke keystroke)
{
    switch (keystroke) {
    case PasteKeystroke::controlV: return u"Ctrl+V"_s;
    case PasteKeystroke::controlShiftV: return u"Ctrl+Shift+V"_s;
    case PasteKeystroke::shiftInsert: return u"Shift+Insert"_s;
    case PasteKeystroke::editThenControlV: return u"F2, Ctrl+V"_s;
    }
    return {};
}

QString clipboard()
{
    return run(u"xclip -o -selection clipboard"_s).value_or(QString());
}

QString versionOf(const QString& package)
{
    return run(u"dpkg-query -W -f=${Version} "_s + package).value_or(u"?"_s);
}

struct Row {
    QString name, package, windowClass;
    bool hints;
    QString paste, keystroke, sample;
    QString why;  // what a ✗ means for the user
};

}  // namespace

class TestApplications : public QObject {
    Q_OBJECT

    TestDataFolder data;
    RunningSayri sayri;
    QList<Row> rows;

private Q_SLOTS:
    void initTestCase()
    {
        data.writeText(u"dictionary.txt"_s, QString());
        // Screen hints on, as Sayri leaves the desktop after its first capture:
        // the applications started below publish their trees.
        QVERIFY(DesktopProbe::accessibilityEnabled(true));
        sayri.standIn.setReplies(QJsonArray{QJsonObject{{u"text"_s, u"今日は晴れです。ご視聴ありがとうございました"_s}}});
        QVERIFY(sayri.startListening());
    }

    void cleanupTestCase()
    {
        sayri.terminate();
        QString table = u"# Applications Sayri dictates into\n\n"
                        "Made by `tst_Applications` (`ctest -L applications`) on %1, %2, commit %3.\n"
                        "Each row is one dictation with real key events and speech, the text read back from the "
                        "application.\n\n"
                        "| Application | Debian version | Paste | Keystroke | Screen hints | Sample of the hints |\n"
                        "|---|---|---|---|---|---|\n"_s.arg(QDate::currentDate().toString(Qt::ISODate),
                                                            QSysInfo::prettyProductName(),
                                                            run(u"git -C " SAYRI_SOURCE_DIR " rev-parse --short HEAD"_s).value_or(u"?"_s));
        QStringList notes;
        for (const Row& r : rows) {
            table += u"| %1 | %2 | %3 | %4 | %5 | %6 |\n"_s.arg(r.name, versionOf(r.package), r.paste, r.keystroke,
                                                               r.hints ? u"✓"_s : u"✗"_s, r.sample);
            if (!r.why.isEmpty())
                notes << u"- **%1**: %2"_s.arg(r.name, r.why);
        }
        if (!notes.isEmpty())
            table += u"\nWhere a ✗ stands:\n\n"_s + notes.join(u'\n') + u'\n';
        writeFile(QStringLiteral(SAYRI_BIN_DIR "/applications.md"), table.toUtf8());
    }

    // command: the program and its arguments, DOC standing for the document's
    // path and OUT for a file the text may arrive in. readBack: where the text
    // is read from: "out", that file; "buffer", that file, where an editor
    // writes its buffer at every change; "title", the window's title (a page's
    // text area sets it); "copy", the clipboard once the application has
    // copied everything (Ctrl+A, Ctrl+C) after its accessible text shows the
    // paste. hints: whether the
    // application shows the document to the accessibility bus; why: what a ✗
    // means for the user.
    void dictation_data()
    {
        QTest::addColumn<QString>("package");
        QTest::addColumn<QString>("windowClass");
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("readBack");
        QTest::addColumn<bool>("hints");
        QTest::addColumn<QString>("why");
        const QString catDoc = u"cat \"$0\"; stty -echo -icanon; cat > \"$1\""_s;
        const QStringList sh{u"sh"_s, u"-c"_s, catDoc, u"DOC"_s, u"OUT"_s};
        const QString quoted = u"sh -c '"_s + catDoc + u"' DOC OUT"_s;
        const QString copyAll = u"copy"_s;
        const QString noDocumentText = u"its document is not shown to the accessibility bus, so its words do not "
                                       "steer recognition; the dictionary still does"_s;
        const QString noTerminalText = u"this terminal keeps its text from the accessibility bus, so the words on "
                                       "its screen do not steer recognition; the dictionary still does"_s;
        const auto row = [](const char* name, const char* package, const char* windowClass) -> QTestData& {
            return QTest::newRow(name) << QString::fromLatin1(package) << QString::fromLatin1(windowClass);
        };
        row("mousepad (GTK 3)", "mousepad", "Mousepad") << QStringList{u"mousepad"_s, u"DOC"_s} << copyAll << true
                                                        << QString();
        row("GNOME Text Editor (GTK 4)", "gnome-text-editor", "gnome-text-editor")
            << QStringList{u"gnome-text-editor"_s, u"--standalone"_s, u"DOC"_s} << copyAll << true << QString();
        row("KWrite (KDE, Qt 5)", "kwrite", "kwrite") << QStringList{u"kwrite"_s, u"DOC"_s} << copyAll << true
                                                      << QString();
        row("FeatherPad (Qt 5)", "featherpad", "FeatherPad")
            << QStringList{u"featherpad"_s, u"--standalone"_s, u"DOC"_s} << copyAll << true << QString();
        // The editors write their buffer to OUT at every change.
        row("GNU Emacs (GTK)", "emacs-gtk", "Emacs")
            << QStringList{u"emacs"_s, u"-Q"_s, u"--eval"_s,
                           u"(progn (find-file \"DOC\") (add-hook 'after-change-functions "
                           "(lambda (&rest _) (write-region nil nil \"OUT\" nil 0)) nil t))"_s}
            << u"buffer"_s << false << noDocumentText;
        row("gvim (GTK 3)", "vim-gtk3", "Gvim")
            << QStringList{u"gvim"_s, u"-f"_s, u"-U"_s, u"NONE"_s, u"-N"_s, u"--cmd"_s, u"set noswapfile"_s, u"-c"_s,
                           u"autocmd TextChanged,TextChangedI * silent write! OUT"_s, u"-c"_s, u"startinsert"_s,
                           u"DOC"_s}
            << u"buffer"_s << false << noDocumentText;
        const QString chromium = u"chromium --no-sandbox --no-first-run --disable-gpu --user-data-dir=DIR/chromium"_s;
        row("Chromium", "chromium", "Chromium") << (chromium + u" --app=file://DIR/page.html"_s).split(u' ')
                                               << u"title"_s << false
                                               << u"Chromium shows its pages to the accessibility bus only when a "
                                                  "screen reader runs or it is started with "
                                                  "`--force-renderer-accessibility`; the next row"_s;
        row("Chromium, --force-renderer-accessibility", "chromium", "Chromium")
            << (chromium + u" --force-renderer-accessibility --app=file://DIR/page.html"_s).split(u' ') << u"title"_s
            << true << QString();
        row("Firefox ESR", "firefox-esr", "firefox-esr")
            << u"firefox-esr --no-remote --profile DIR file://DIR/page.html"_s.split(u' ') << u"title"_s << true
            << QString();
        row("sakura", "sakura", "sakura") << QStringList{u"sakura"_s, u"-x"_s, quoted} << u"out"_s << true << QString();
        row("xterm", "xterm", "xterm") << QStringList{u"xterm"_s, u"-u8"_s, u"-e"_s} + sh << u"out"_s << false
                                       << noTerminalText;
        row("Konsole", "konsole", "konsole") << QStringList{u"konsole"_s, u"--separate"_s, u"-e"_s} + sh << u"out"_s
                                             << true << QString();
        row("GNOME Terminal", "gnome-terminal", "Gnome-terminal")
            << QStringList{u"gnome-terminal"_s, u"--wait"_s, u"--"_s} + sh << u"out"_s << true << QString();
        row("Xfce Terminal", "xfce4-terminal", "Xfce4-terminal")
            << QStringList{u"xfce4-terminal"_s, u"--disable-server"_s, u"-x"_s} + sh << u"out"_s << true << QString();
        row("LXTerminal", "lxterminal", "Lxterminal")
            << QStringList{u"lxterminal"_s, u"--no-remote"_s, u"-e"_s, quoted} << u"out"_s << true << QString();
        row("Terminator", "terminator", "Terminator") << QStringList{u"terminator"_s, u"-u"_s, u"-x"_s} + sh
                                                      << u"out"_s << true << QString();
        row("QTerminal (Qt 5)", "qterminal", "qterminal") << QStringList{u"qterminal"_s, u"-e"_s, quoted} << u"out"_s
                                                          << false << noTerminalText;
        row("kitty", "kitty", "kitty") << QStringList{u"kitty"_s} + sh << u"out"_s << false << noTerminalText;
        row("Alacritty", "alacritty", "Alacritty") << QStringList{u"alacritty"_s, u"-e"_s} + sh << u"out"_s << false
                                                   << noTerminalText;
    }

    void dictation()
    {
        QFETCH(QString, package);
        QFETCH(QString, windowClass);
        QFETCH(QStringList, command);
        QFETCH(QString, readBack);
        QFETCH(bool, hints);
        QFETCH(QString, why);
        Row result{QString::fromUtf8(QTest::currentDataTag()), package, windowClass, false, u"✗"_s, u"—"_s, u"—"_s,
                   why};
        const auto record = qScopeGuard([&] { rows << result; });

        QTemporaryDir dir;
        const QString doc = dir.filePath(u"文書.txt"_s), out = dir.filePath(u"out.txt"_s);
        writeFile(doc, documentText.toUtf8());
        writeFile(dir.filePath(u"page.html"_s),
                  u"<!doctype html><meta charset=utf-8><title>文書</title><h1>%1</h1><p>%2</p>"
                  "<textarea autofocus oninput=\"document.title=this.value\"></textarea>"_s
                      .arg(documentText.section(u'\n', 0, 0), documentText.section(u'\n', 1))
                      .toUtf8());
        writeFile(dir.filePath(u"user.js"_s),
                  "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");");
        command.replaceInStrings(u"DOC"_s, doc).replaceInStrings(u"OUT"_s, out).replaceInStrings(u"DIR"_s, dir.path());
        qputenv("LC_ALL", "C.UTF-8");
        QProcess program;  // ended by its PID when the row ends
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setStandardErrorFile(QProcess::nullDevice());
        program.start(command.takeFirst(), command);
        const auto stop = qScopeGuard([&] {
            if (QTest::currentTestFailed())  // what the screen showed, for the report
                run(u"import -window root "_s + QStringLiteral(SAYRI_BIN_DIR "/failed-%1.png").arg(rows.size()));
            program.terminate();
            if (!program.waitForFinished(5000))  // asking whether to save the changed document
                program.kill(), program.waitForFinished(5000);
        });

        // Its window active; a terminal's `cat` started (OUT exists); a
        // document shown to the accessibility bus where the row expects it.
        const auto active = [&] {
            QProcess::execute(u"timeout"_s, {u"5"_s, u"xdotool"_s, u"search"_s, u"--onlyvisible"_s, u"--class"_s, windowClass,
                                             u"windowactivate"_s, u"--sync"_s});
            const auto app = X11FrontmostApp().current();
            return app && app->windowClass.compare(windowClass, Qt::CaseInsensitive) == 0;
        };
        QVERIFY2(QTest::qWaitFor(active, 60000), "its window did not come up");
        if (readBack == u"out"_s)
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 20000);
        result.keystroke = keystrokeName(Paster::keystrokeFor(X11FrontmostApp().current(), pasted));
        const qint64 pid = X11FrontmostApp().current().value_or(FrontmostAppInfo{}).pid;
        if (hints) {
            AtspiTree tree;
            QVERIFY2(QTest::qWaitFor(
                         [&] { return ScreenContext::axVisibleText(tree, pid).contains(termsOfTheDocument[0]); }, 30000),
                     "its document did not reach the accessibility bus");
        }

        const int requests = int(sayri.standIn.inferenceRequests().size());
        const qsizetype pastes = logMessages().filter(u"貼り付けます"_s).size();
        QVERIFY(sayri.dictateHere());
        QTRY_VERIFY_WITH_TIMEOUT(logMessages().filter(u"貼り付けます"_s).size() > pastes, 20000);

        QString arrived;
        const auto arrives = [&](const std::function<QString()>& read) {
            return QTest::qWaitFor([&] { return (arrived = read()).contains(pasted); }, 10000);
        };
        if (readBack == u"title"_s) {
            QVERIFY(arrives([] { return run(u"xdotool getactivewindow getwindowname"_s).value_or(QString()); }));
            arrived = pasted;  // the title holds the text area's text, and the browser's name after it
        } else if (readBack == u"out"_s || readBack == u"buffer"_s) {
            QVERIFY(arrives([&] { return QString::fromUtf8(readFile(out)); }));
        } else {
            AtspiTree tree;
            QVERIFY(arrives([&] { return ScreenContext::axVisibleText(tree, pid); }));
            run(u"xdotool key --clearmodifiers ctrl+a ctrl+c"_s);
            QVERIFY(QTest::qWaitFor([&] { return (arrived = clipboard()) != pasted; }, 10000));
        }
        // A terminal's file holds the text alone, an editor's document the text and the document.
        const bool inDocument = readBack == u"copy"_s || readBack == u"buffer"_s;
        QCOMPARE(QString(arrived).remove(pasted).trimmed(), inDocument ? documentText.trimmed() : QString());
        QCOMPARE(arrived.count(pasted), 1);
        result.paste = u"✓"_s;

        const QList<WhisperStandIn::Recorded> sent = sayri.standIn.inferenceRequests();
        QVERIFY(sent.size() > requests);
        const QString prompt = QString::fromUtf8(sent.last().contents.value(u"prompt"_s));
        for (const QString& word : wordsOfClosedMenus)
            QVERIFY2(!prompt.split(u'、').contains(word), qPrintable(prompt));
        result.hints = std::any_of(termsOfTheDocument.begin(), termsOfTheDocument.end(),
                                   [&](const QString& t) { return prompt.contains(t); });
        result.sample = result.hints ? prompt : u"—"_s;
        QCOMPARE(result.hints, hints);
    }
};

QTEST_MAIN(TestApplications)
#include "tst_Applications.moc"
