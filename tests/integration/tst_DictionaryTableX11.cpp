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
private Q_SLOTS:
    void aWordDraggedBelowTheLast()
    {
        TestDataFolder data;
        writeFile(data.file(u"dictionary.txt"_s), "一番\nに=二番\n三番\n");
        QWidget page;  // the page around the table
        DictionaryTable table(&page);
        page.resize(740, 360);
        table.setGeometry(20, 20, 700, 320);
        table.setEntries(Config::dictionaryDisplayEntries());
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const auto* view = table.findChild<QListView*>();
        const auto row = [view](int i) {
            const QRect r = view->visualRect(view->model()->index(i, 0));
            return r.translated(view->viewport()->mapToGlobal(QPoint(0, 0)));
        };
        const auto to = [](QPoint p, double wait) {
            return u"mousemove %1 %2 sleep %3 "_s.arg(p.x()).arg(p.y()).arg(wait);
        };

        // Real XTest pointer events from xdotool, while this event loop (and
        // the drag's own) keeps running.
        const QPoint from(row(0).x() + 20, row(0).center().y()), below(row(2).x() + 20, row(2).bottom() - 2);
        QString steps = to(from, 0.1) + u"mousedown 1 "_s;
        for (int i = 1; i <= 20; ++i)
            steps += to(from + (below - from) * i / 20, 0.03);
        QProcess xdotool;
        xdotool.start(u"xdotool"_s, (steps + to(below, 0.3) + u"mouseup 1"_s).split(u' '));
        QTRY_VERIFY_WITH_TIMEOUT(xdotool.state() == QProcess::NotRunning, 10000);
        QTRY_VERIFY(readFile(data.file(u"dictionary.txt"_s)).endsWith("\n\nに=二番\n三番\n一番\n"));
    }
};

QTEST_MAIN(TestDictionaryTableX11)
#include "tst_DictionaryTableX11.moc"
