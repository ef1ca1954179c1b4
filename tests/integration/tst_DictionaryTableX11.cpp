// The dictionary table in a real window: a word dragged with the mouse,
// edited and deleted through the real dialogs, each change checked in
// "dictionary.txt"; and a screenshot of its rows.
#include "TestDataFolder.h"

#include "store/Dictionary.h"
#include "ui/DictionaryRowDelegate.h"
#include "ui/DictionaryTable.h"
#include "ui/WordDialog.h"

#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
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
    static QPoint centre(const QWidget* w) { return w->mapToGlobal(w->rect().center()); }
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
    static void click(QPoint p, int count = 1) { xdotool(to(p) + u"click --repeat %1 --delay 80 1"_s.arg(count)); }

private Q_SLOTS:
    void initTestCase()
    {
        page_.resize(740, 360);
        table_.setGeometry(20, 20, 700, 320);
        page_.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page_));
    }

    void dragEditAndDelete()
    {
        load("一番\nに=二番\n三番\n");
        const QPoint from(row(0).x() + 20, row(0).center().y()), below(row(2).x() + 20, row(2).bottom() - 2);
        QString steps = to(from) + u"mousedown 1 "_s;
        for (int i = 1; i <= 20; ++i)
            steps += to(from + (below - from) * i / 20, 0.03);
        xdotool(steps + to(below, 0.3) + u"mouseup 1"_s);
        QTRY_VERIFY(file().endsWith(u"\n\nに=二番\n三番\n一番\n"_s));

        click(row(1).center(), 2);
        WordDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = table_.findChild<WordDialog*>()) && dialog->isVisible());
        QCOMPARE(dialog->surface(), u"三番"_s);
        QTRY_VERIFY(dialog->surfaceField()->hasFocus());
        dialog->surfaceField()->setText(u"三番目"_s);
        dialog->readingField()->setText(u"さんばんめ"_s);
        click(centre(dialog->acceptButton()));
        QTRY_VERIFY(file().endsWith(u"\n\nに=二番\nさんばんめ=三番目\n一番\n"_s));

        click(DictionaryRowDelegate::buttonRect(row(0)).center());
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = table_.findChild<QMessageBox*>()) && box->isVisible());
        QCOMPARE(box->text(), u"「二番」を辞書から消しますか？"_s);
        for (QAbstractButton* b : box->buttons())
            if (b->text() == u"消す"_s)
                click(centre(b));
        QTRY_VERIFY(file().endsWith(u"\n\nさんばんめ=三番目\n一番\n"_s));
        QCOMPARE(table_.entries().size(), 2);
    }

    // Active words (dot, "聞き取り"), one outside the budget with a reading
    // ("置換で対応") and one without ("枠外").
    void screenshot()
    {
        load("株式会社あおぞら\nふかんず=俯瞰図\n" + QString(u"長"_s).repeated(170).toUtf8()
             + "\nとうきょう=東京都庁舎\n渡辺=渡邊\n枠外の言葉\n");
        QTest::qWait(300);
        const QString shot = QStringLiteral(SAYRI_BIN_DIR "/dictionary-table.png");
        QCOMPARE(QProcess::execute(u"import"_s, {u"-window"_s, u"root"_s, shot}), 0);
    }
};

QTEST_MAIN(TestDictionaryTableX11)
#include "tst_DictionaryTableX11.moc"
