// Pasting into real terminal emulators from Debian, each running `cat` into a
// file: sakura, which says in its desktop entry that it is a terminal emulator
// and pastes on Ctrl+Shift+V, and xterm, which pastes only the primary
// selection (Shift+Insert).
#include "ScreenWindow.h"

#include "desktop/Paster.h"
#include "platform/linux/X11FrontmostApp.h"
#include "platform/linux/X11KeySynthesizer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_TerminalPasteX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theTextArrives_data()
    {
        QTest::addColumn<QStringList>("command");
        const QString cat = QStringLiteral("stty -echo -icanon; cat > \"$0\"");
        QTest::newRow("sakura") << QStringList{"sakura", "-x", "sh -c '" + cat + "' OUT"};
        QTest::newRow("xterm") << QStringList{"xterm", "-u8", "-e", "sh", "-c", cat, "OUT"};
    }

    void theTextArrives()
    {
        QFETCH(QStringList, command);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        command.replaceInStrings(QStringLiteral("OUT"), out);
        QProcess terminal;
        qputenv("LC_ALL", "C.UTF-8");
        terminal.start(command.takeFirst(), command);
        QVERIFY(terminal.waitForStarted());
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 20000);  // its shell runs
        QProcess search;
        search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--pid"), QString::number(terminal.processId())});
        QVERIFY(search.waitForFinished(5000));
        window = QString::fromLatin1(search.readAllStandardOutput()).section(u'\n', 0, 0);
        QVERIFY(!window.isEmpty());
        window = QStringLiteral("0x%1").arg(window.toULongLong(), 0, 16);
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
        QTRY_VERIFY(ScreenWindow::isActive(window));

        Paster paster(std::make_unique<X11FrontmostApp>(), std::make_shared<X11KeySynthesizer>());
        const QString text = QStringLiteral("echo 今日は晴れ 👍");
        QVERIFY(paster.paste(text));
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8([&] {
            QFile f(out);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }()), text, 10000);
        terminal.terminate();
        QVERIFY(terminal.waitForFinished(5000));
    }
};

QTEST_MAIN(tst_TerminalPasteX11)
#include "tst_TerminalPasteX11.moc"
