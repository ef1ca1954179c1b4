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
#include <QMimeData>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestDictionaryTable : public QObject {
    Q_OBJECT

    TestDataFolder data_;
    std::unique_ptr<DictionaryTable> table_;

    // A table showing the words of `text`, written as "dictionary.txt".
    QListView* show(const QByteArray& text)
    {
        writeFile(data_.file(u"dictionary.txt"_s), text);
        table_ = std::make_unique<DictionaryTable>();
        table_->resize(700, 400);
        table_->setEntries(Config::dictionaryDisplayEntries());
        table_->show();
        return table_->findChild<QListView*>();
    }
    QByteArray file() const { return readFile(data_.file(u"dictionary.txt"_s)); }
    void doubleClick(QPoint at)
    {
        QTest::mouseClick(table_->findChild<QListView*>()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table_->findChild<QListView*>()->viewport(), Qt::LeftButton, {}, at);
    }
    bool drop(const QByteArray& payload, int row, const QModelIndex& parent = {})
    {
        QMimeData data;
        data.setData(DictionaryModel::mimeType, payload);
        return table_->findChild<QListView*>()->model()->dropMimeData(&data, Qt::MoveAction, row, 0, parent);
    }

private Q_SLOTS:
    void initTestCase() { QDir().mkpath(data_.path()); }

    void moveTarget()
    {
        // source, destination, target in a table of three rows
        for (const auto& [s, d, t] : {std::tuple{0, 3, 2}, {2, 0, 0}, {0, 2, 1}, {2, 1, 1}, {0, 9, 2}})
            QCOMPARE(DictionaryRules::moveTarget(s, d, 3), t);
    }

    void drops()
    {
        QCOMPARE(DictionaryRules::sourceRow("2", 3), 2);
        for (const QByteArray bad : {"3", "", "-1", " 1", "1x", "+1", "99999999999"})
            QCOMPARE(DictionaryRules::sourceRow(bad, 3), std::nullopt);
        QListView* view = show("A\nB\n");
        QVERIFY(!drop("x", 2));
        QVERIFY(!drop("0", -1, view->model()->index(1, 0)));  // onto a row
        QVERIFY(drop("0", 2));
        QVERIFY(file().endsWith("\n\nB\nA\n"));
    }

    // Accepted words read back from the file as typed, trimmed.
    void edits()
    {
        using Case = std::tuple<QString, QString, bool>;  // surface, reading, refused
        for (const auto& [surface, reading, refused] :
             std::initializer_list<Case>{{u" 俯瞰図\u3000"_s, u" ふかんず"_s, false},
                                         {u"俯瞰図"_s, u" "_s, false},
                                         {u" "_s, u"ふ"_s, false},
                                         {u"俯瞰\n図"_s, {}, true},
                                         {u"俯瞰図"_s, u"ふ\u2028か"_s, true},
                                         {u"#タグ"_s, {}, true},
                                         {u"#タグ"_s, u"たぐ"_s, false},
                                         {u"タグ"_s, u"#たぐ"_s, false},
                                         {u"a=b"_s, {}, true},
                                         {u"a=b"_s, u"え"_s, false},
                                         {u"C="_s, {}, false},
                                         {u"x"_s, u"a=b"_s, true}}) {
            const auto edit = DictionaryRules::editedWord(surface, reading);
            QVERIFY2(edit.refusal.isEmpty() != refused, qPrintable(surface + u'|' + reading));
            QCOMPARE(edit.word.has_value(), !refused && !surface.trimmed().isEmpty());
            if (edit.word) {
                Config::rewriteDictionary({*edit.word});
                QCOMPARE(Config::dictionaryEntries(), QList{*edit.word});
                QCOMPARE(edit.word->surface, surface.trimmed());
            }
        }
    }

    void counts()
    {
        // The long word leaves 3 characters: too few for "、BBB", enough for "、E".
        show(QByteArray(182, 'x') + "\nう=BBB\nCCC\nえ=DDD\nE\n");
        QCOMPARE(table_->activeCount(), 2);
        QCOMPARE(table_->replaceableCount(), 2);
    }

    // The file is the truth: a table showing an older file writes nothing.
    void racingChangesAreDropped()
    {
        QListView* view = show("A\nB\n");
        writeFile(data_.file(u"dictionary.txt"_s), "A\nB\nC\n");
        QSignalSpy reordered(table_.get(), &DictionaryTable::reordered);
        QVERIFY(!drop("0", 2));
        doubleClick(view->visualRect(view->model()->index(0, 0)).center());
        auto* dialog = table_->findChild<WordDialog*>();
        QVERIFY(dialog && dialog->focusWidget() == dialog->surfaceField());
        dialog->readingField()->setText(u"x=y"_s);
        dialog->acceptButton()->click();
        QVERIFY(dialog->isVisible() && !dialog->refusal().isEmpty());
        dialog->readingField()->setText(u"えー"_s);
        dialog->acceptButton()->click();
        QCOMPARE(file(), "A\nB\nC\n");
        QVERIFY(logContains(u"辞書の変更を保存しませんでした: dictionary.txt "
                            u"がほかのプログラムで書き換えられていたため、ファイルの内容を残します"_s));
        QTRY_COMPARE(reordered.count(), 2);
    }

    void notUtf8IsReadOnly()
    {
        const QByteArray bytes("A\n\xff\xfe B\n");
        QListView* view = show(bytes);
        table_->setEntries({{{}, u"A"_s, true}});  // a snapshot from before
        QVERIFY(table_->findChild<QLabel*>(u"readOnlyNotice"_s)->isVisible());
        QVERIFY(!(view->model()->flags(view->model()->index(0, 0)) & Qt::ItemIsDragEnabled));
        QVERIFY(!drop("0", 1));
        const QRect row = view->visualRect(view->model()->index(0, 0));
        doubleClick(row.center());
        doubleClick(DictionaryRowDelegate::buttonRect(row).center());
        QVERIFY(!table_->findChild<QDialog*>());
        QCOMPARE(file(), bytes);
    }
};

QTEST_MAIN(TestDictionaryTable)
#include "tst_DictionaryTable.moc"
