// The dictionary table in a real window: a word dragged with real pointer
// events lands where it is dropped in "dictionary.txt" (editing and deleting
// through the dialogs are the unit test's).
#include "TestDataFolder.h"

#include "store/Dictionary.h"
#include "ui/DictionaryTable.h"

#include <QListView>
#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestDictionaryTableX11 : public QObject {
    Q_OBJECT

    TestDataFolder data_;
    QWidget page_;  // the page around the table
    DictionaryTable table_{&page_};

    QString file() const { return QString::fromUtf8(readFile(data_.file(u"dictionary.txt"_s))); }
    void load(const QByteArray& text)
    {
        writeFile(data_.file(u"dictionary.txt"_s), text);
        table_.setEntries(Config::dictionaryDisplayEntries());
    }
    QRect row(int i) const
    {
        const auto* view = table_.findChild<QListView*>();
        const QRect r = view->visualRect(view->model()->index(i, 0));
        return r.translated(view->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    // Real XTest pointer events: xdotool with these steps, while this event
    // loop (and a drag's own) keeps running.
    static void xdotool(const QString& steps)
    {
        QProcess p;
        p.start(u"xdotool"_s, steps.split(u' '));
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 10000);
        QTest::qWait(100);
    }
    static QString to(QPoint p, double wait = 0.1)
    {
        return u"mousemove %1 %2 sleep %3 "_s.arg(p.x()).arg(p.y()).arg(wait);
    }

private Q_SLOTS:
    void initTestCase()
    {
        page_.resize(740, 360);
        table_.setGeometry(20, 20, 700, 320);
        page_.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page_));
    }

    void aWordDraggedBelowTheLast()
    {
        load("一番\nに=二番\n三番\n");
        const QPoint from(row(0).x() + 20, row(0).center().y()), below(row(2).x() + 20, row(2).bottom() - 2);
        QString steps = to(from) + u"mousedown 1 "_s;
        for (int i = 1; i <= 20; ++i)
            steps += to(from + (below - from) * i / 20, 0.03);
        xdotool(steps + to(below, 0.3) + u"mouseup 1"_s);
        QTRY_VERIFY(file().endsWith(u"\n\nに=二番\n三番\n一番\n"_s));
    }
};

QTEST_MAIN(TestDictionaryTableX11)
#include "tst_DictionaryTableX11.moc"
