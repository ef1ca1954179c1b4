// The history store: newest first, capped at 100 on add, strict decoding of
// "history.json", and a file that does not decode kept aside, not lost.
#include "TestDataFolder.h"

#include "store/HistoryStore.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QString entryJson(int i, const QString& date = u"2026-01-31T09:05:07Z"_s)
{
    return uR"({"date": "%1", "raw": "生の%2", "text": "文%2", "mode": "文字起こし"})"_s.arg(date).arg(i);
}

}  // namespace

class TestHistoryStore : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data_;

    void writeHistory(const QString& text) { data_->writeText(u"history.json"_s, text); }
    QStringList brokenCopies() const
    {
        return QDir(data_->path()).entryList({u"history.json.broken-*"_s}, QDir::Files);
    }

private Q_SLOTS:
    void init()
    {
        data_ = std::make_unique<TestDataFolder>();
        QDir().mkpath(data_->path());
    }
    void cleanup() { data_.reset(); }

    // Every hand-written entry loads; an add keeps the newest hundred and
    // writes them all, dated in UTC with whole seconds.
    void capsAtAHundredOnAddAndMirrorsTheFile()
    {
        QStringList items;
        for (int i = 0; i < 150; ++i)
            items.append(entryJson(i));
        writeHistory(u"[\n"_s + items.join(u",\n"_s) + u"\n]"_s);

        HistoryStore store;
        QCOMPARE(store.entries().size(), 150);
        QCOMPARE(store.entries().at(0).date, QDateTime(QDate(2026, 1, 31), QTime(9, 5, 7), Qt::UTC));
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        store.add(u"新"_s, u"新"_s, u"文字起こし"_s);
        QCOMPARE(store.entries().size(), 100);
        const QDateTime date = store.entries().first().date;
        QVERIFY(date >= before && date <= QDateTime::currentDateTimeUtc());
        QCOMPARE(store.entries().at(1).raw, u"生の0"_s);
        QCOMPARE(store.entries().last().raw, u"生の98"_s);

        QCOMPARE(HistoryStore().entries(), store.entries());
        static const QRegularExpression stamp(uR"("date": "\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ")"_s);
        QCOMPARE(data_->readText(u"history.json"_s).count(stamp), 100);
    }

    void decodesStrictly_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<int>("entries");  // -1: does not decode
        QTest::newRow("empty array") << u"[]"_s << 0;
        QTest::newRow("extra keys are ignored")
            << uR"([{"date": "2026-01-31T09:05:07Z", "raw": "a", "text": "b", "mode": "c", "x": 1}])"_s << 1;
        QTest::newRow("one object lacks mode")
            << u"["_s + entryJson(1) + uR"(, {"date": "2026-01-31T09:05:07Z", "raw": "a", "text": "b"}])"_s << -1;
        QTest::newRow("fractional seconds") << u"["_s + entryJson(1, u"2026-01-31T09:05:07.250Z"_s) + u"]"_s << -1;
        QTest::newRow("offset instead of Z") << u"["_s + entryJson(1, u"2026-01-31T18:05:07+09:00"_s) + u"]"_s << -1;
        QTest::newRow("impossible date") << u"["_s + entryJson(1, u"2026-02-30T09:05:07Z"_s) + u"]"_s << -1;
        QTest::newRow("text that is not a string")
            << uR"([{"date": "2026-01-31T09:05:07Z", "raw": "a", "text": 5, "mode": "c"}])"_s << -1;
        QTest::newRow("object instead of array") << entryJson(1) << -1;
        QTest::newRow("broken JSON") << u"["_s + entryJson(1) << -1;
    }
    void decodesStrictly()
    {
        QFETCH(QString, json);
        QFETCH(int, entries);
        const auto decoded = HistoryStore::decode(json.toUtf8());
        QCOMPARE(decoded ? int(decoded->size()) : -1, entries);
    }

    void undecodableFileIsKeptAsideBeforeItIsReplaced()
    {
        const QString broken = u"["_s + entryJson(1, u"2026-01-31T09:05:07.5Z"_s) + u"]"_s;
        writeHistory(broken);
        HistoryStore store;
        QVERIFY(store.entries().isEmpty());
        QCOMPARE(data_->readText(u"history.json"_s), broken);  // loading changes nothing

        store.add(u"a"_s, u"b"_s, u"文字起こし"_s);
        QVERIFY(data_->readText(u"sayri.log"_s).contains(brokenCopies().value(0, u"(none)"_s)));

        store.add(u"c"_s, u"d"_s, u"文字起こし"_s);
        QCOMPARE(HistoryStore().entries().size(), 2);

        // Another broken file in the same second is kept too; loading made no copy.
        writeHistory(u"{"_s);
        HistoryStore().add(u"a"_s, u"a"_s, u"文字起こし"_s);
        QStringList contents;
        for (const QString& name : brokenCopies())
            contents.append(data_->readText(name));
        contents.sort();
        QCOMPARE(contents, (QStringList{broken, u"{"_s}));
    }
};

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_HistoryStore.moc"
