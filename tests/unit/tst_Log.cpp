// The log: line format, lines appended, and handles for child output.
#include "TestDataFolder.h"

#include "store/Config.h"
#include "store/Log.h"

#include <QtTest>

class TestLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineFormat()
    {
        TestDataFolder data;
        QDir().mkpath(data.path());
        Log::write(QStringLiteral("サイリ起動"));
        Log::write(QString());
        Log::write(QStringLiteral("一行目\n二行目"));
        const QString text = data.readText(QStringLiteral("sayri.log"));
        const QRegularExpression format(
            QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] サイリ起動\\n"
                           "\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] \\n"
                           "\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] 一行目\\n二行目\\n$"));
        QVERIFY2(format.match(text).hasMatch(), qPrintable(text));
        const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        QVERIFY(text.mid(1, 16) == now || text.mid(1, 10) == now.left(10));  // local time, not UTC

        // Without the folder the line is lost quietly, and a handle for child
        // output writes into the null device (appending: tst_WhisperServer).
        QVERIFY(QDir(data.path()).removeRecursively());
        Log::write(QStringLiteral("どこにも書けない"));
        QVERIFY(!QFile::exists(data.file(QStringLiteral("sayri.log"))));
        auto sink = Log::handle(QStringLiteral("no/such/folder/x.log"));
        QVERIFY(sink->isOpen());
        QCOMPARE(sink->write("discarded"), 9);
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_Log.moc"
