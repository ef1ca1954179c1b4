// The dictionary table: where a dragged word lands, what an edit may write,
// its two counts, and that the file stays the truth (a racing change, a file
// that is not UTF-8).
#include "LogFile.h"
#include "TestDataFolder.h"

#include "store/Dictionary.h"
#include "ui/DictionaryModel.h"
#include "ui/DictionaryRowDelegate.h"
#include "ui/DictionaryRules.h"
#include "ui/DictionaryTable.h"
#include "ui/WordDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using Entry = Config::DisplayEntry;

class TestDictionaryTable : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data_;
    std::unique_ptr<DictionaryTable> table_;

    // A table of the words of `text` written as "dictionary.txt".
    void show(const QByteArray& text)
    {
        writeFile(data_->file(u"dictionary.txt"_s), text);
        table_ = std::make_unique<DictionaryTable>();
        table_->resize(700, 400);
        table_->setEntries(Config::dictionaryDisplayEntries());
        table_->show();
    }
    QByteArray file() const { return readFile(data_->file(u"dictionary.txt"_s)); }
    QListView* view() const { return table_->findChild<QListView*>(); }
    QPoint inRow(int row, int x = 100) const
    {
        return {x, view()->visualRect(view()->model()->index(row, 0)).center().y()};
    }
    void doubleClick(int row)
    {
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, inRow(row));
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, inRow(row));
    }
    bool drop(const QByteArray& payload, int row, const QModelIndex& parent = {})
    {
        QMimeData data;
        data.setData(DictionaryModel::mimeType, payload);
        return view()->model()->dropMimeData(&data, Qt::MoveAction, row, 0, parent);
    }

private Q_SLOTS:
    void init()
    {
        data_ = std::make_unique<TestDataFolder>();
        QDir().mkpath(data_->path());
    }
    void cleanup()
    {
        table_.reset();
        data_.reset();
    }

    void moveTarget_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("destination");
        QTest::addColumn<int>("target");
        QTest::newRow("first below the last") << 0 << 3 << 2;
        QTest::newRow("last to the top") << 2 << 0 << 0;
        QTest::newRow("down by one") << 0 << 2 << 1;
        QTest::newRow("up by one") << 2 << 1 << 1;
        QTest::newRow("past the end") << 0 << 9 << 2;
    }
    void moveTarget()
    {
        QFETCH(int, source);
        QFETCH(int, destination);
        QFETCH(int, target);
        QCOMPARE(DictionaryRules::moveTarget(source, destination, 3), target);
    }

    void payloads()
    {
        QCOMPARE(DictionaryRules::sourceRow("2", 3), 2);
        for (const QByteArray bad : {"3", "", "-1", " 1", "1x", "+1", "99999999999"})
            QCOMPARE(DictionaryRules::sourceRow(bad, 3), std::nullopt);
    }

    // Accepted words read back from the file exactly as typed (trimmed).
    void edits_data()
    {
        QTest::addColumn<QString>("surface");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<bool>("refused");
        QTest::newRow("reading") << u" 俯瞰図\u3000"_s << u" ふかんず"_s << false;
        QTest::newRow("empty reading is none") << u"俯瞰図"_s << u" "_s << false;
        QTest::newRow("empty surface: no change") << u" "_s << u"ふ"_s << false;
        QTest::newRow("line break") << u"俯瞰\n図"_s << u""_s << true;
        QTest::newRow("line break in reading") << u"俯瞰図"_s << u"ふ\u2028か"_s << true;
        QTest::newRow("# alone") << u"#タグ"_s << u""_s << true;
        QTest::newRow("# with a reading") << u"#タグ"_s << u"たぐ"_s << false;
        QTest::newRow("# reading") << u"タグ"_s << u"#たぐ"_s << false;
        QTest::newRow("= alone") << u"a=b"_s << u""_s << true;
        QTest::newRow("= with a reading") << u"a=b"_s << u"え"_s << false;
        QTest::newRow("= at the end") << u"C="_s << u""_s << false;
        QTest::newRow("= in reading") << u"x"_s << u"a=b"_s << true;
    }
    void edits()
    {
        QFETCH(QString, surface);
        QFETCH(QString, reading);
        QFETCH(bool, refused);
        const auto edit = DictionaryRules::editedWord(surface, reading);
        QCOMPARE(!edit.refusal.isEmpty(), refused);
        QCOMPARE(edit.word.has_value(), edit.refusal.isEmpty() && !surface.trimmed().isEmpty());
        if (edit.word) {
            Config::rewriteDictionary({*edit.word});
            QCOMPARE(Config::dictionaryEntries(), QList{*edit.word});
            QCOMPARE(edit.word->surface, surface.trimmed());
        }
    }

    void counts()
    {
        table_ = std::make_unique<DictionaryTable>();
        const QString r = u"よみ"_s;
        table_->setEntries({{r, u"a"_s, true},
                            {{}, u"b"_s, true},
                            {r, u"c"_s, false},
                            {{}, u"d"_s, false},
                            {r, u"e"_s, false},
                            {{}, u"f"_s, false},
                            {{}, u"g"_s, false}});
        QCOMPARE(table_->activeCount(), 2);
        QCOMPARE(table_->replaceableCount(), 2);
    }

    void movesWriteTheNewOrder()
    {
        show("# c\nA\nよみ=B\nC\n");
        QSignalSpy reordered(table_.get(), &DictionaryTable::reordered);
        QVERIFY(!drop("7", 0));
        QVERIFY(!drop("0", -1, view()->model()->index(1, 0)));  // onto a row
        QVERIFY(drop("0", 3));
        QVERIFY(file().endsWith("\n\nよみ=B\nC\nA\n"));
        QCOMPARE(table_->entries().last().surface, u"A"_s);
        QVERIFY(reordered.wait(1000));
    }

    // The file is the truth: a table showing an older file writes nothing.
    void racingChangesAreDropped()
    {
        show("A\nB\n");
        writeFile(data_->file(u"dictionary.txt"_s), "A\nB\nC\n");
        QSignalSpy reordered(table_.get(), &DictionaryTable::reordered);
        QVERIFY(!drop("0", 2));
        doubleClick(0);
        auto* dialog = table_->findChild<WordDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        dialog->surfaceField()->setText(u"Z"_s);
        dialog->acceptButton()->click();
        QCOMPARE(file(), "A\nB\nC\n");
        QVERIFY(logContains(u"辞書の変更を保存しませんでした: dictionary.txt "
                            u"がほかのプログラムで書き換えられていたため、ファイルの内容を残します"_s));
        QVERIFY(reordered.wait(1000));
    }

    void editAndDeleteThroughTheirDialogs()
    {
        show("A\nB\n# keep\nB\n");
        doubleClick(0);
        auto* dialog = table_->findChild<WordDialog*>();
        QVERIFY(dialog && dialog->focusWidget() == dialog->surfaceField());
        dialog->readingField()->setText(u"x=y"_s);
        dialog->acceptButton()->click();
        QVERIFY(dialog->isVisible() && !dialog->refusal().isEmpty());
        dialog->readingField()->setText(u"えー"_s);
        dialog->acceptButton()->click();
        QVERIFY(file().endsWith("\n\nえー=A\nB\nB\n"));

        QSignalSpy changed(table_.get(), &DictionaryTable::changed);
        const QRect button = DictionaryRowDelegate::buttonRect(view()->visualRect(view()->model()->index(1, 0)));
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, button.center());
        auto* box = table_->findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->text(), u"「B」を辞書から消しますか？"_s);
        box->buttons().at(0)->text() == u"消す"_s ? box->buttons().at(0)->click() : box->buttons().at(1)->click();
        QVERIFY(file().endsWith("\n\nえー=A\n"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(table_->entries().size(), 1);
    }

    void notUtf8IsReadOnly()
    {
        const QByteArray bytes("A\n\xff\xfe B\n");
        show(bytes);
        table_->setEntries({{{}, u"A"_s, true}});  // a snapshot from before
        QVERIFY(table_->findChild<QLabel*>(u"readOnlyNotice"_s)->isVisible());
        QVERIFY(!(view()->model()->flags(view()->model()->index(0, 0)) & Qt::ItemIsDragEnabled));
        QVERIFY(!drop("0", 1));
        doubleClick(0);
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                          DictionaryRowDelegate::buttonRect(view()->visualRect(view()->model()->index(0, 0))).center());
        QVERIFY(!table_->findChild<QDialog*>());
        QCOMPARE(file(), bytes);
    }
};

QTEST_MAIN(TestDictionaryTable)
#include "tst_DictionaryTable.moc"
