// Recording rescue: only recordings of 30 s or more are kept, named with their
// time and whole seconds; the folder keeps the five newest ".wav" files and
// touches nothing else; a rescue never replaces an earlier one.
#include "TestDataFolder.h"

#include "store/RecordingRescue.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A 44-byte header and 16 kHz 16-bit mono samples: 32000 bytes a second.
QByteArray recording(qsizetype sampleBytes)
{
    return QByteArray(44, 'h') + QByteArray(sampleBytes, 'x');
}

void place(const QString& path, const QByteArray& bytes, const QDateTime& modified)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    QVERIFY(f.flush());
    QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
}

}  // namespace

class TestRecordingRescue : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data_;
    QString folder;

private Q_SLOTS:
    void init()
    {
        data_ = std::make_unique<TestDataFolder>();
        folder = 録音の救出::フォルダ();
    }
    void cleanup() { data_.reset(); }

    void keepsOnlyThirtySecondsOrMore()
    {
        QCOMPARE(folder, data_->path() + u"/救出した録音"_s);
        QCOMPARE(録音の救出::残す(recording(959999)), std::nullopt);  // 29.99 s
        QCOMPARE(録音の救出::残す(QByteArray(10, 'h')), std::nullopt);
        QVERIFY(!QFileInfo::exists(folder));
        writeFile(folder, "a plain file where the folder should be");
        QCOMPARE(録音の救出::残す(recording(32000 * 40)), std::nullopt);
        QVERIFY(QFile::remove(folder));

        const QByteArray wav = recording(960000);
        const auto kept = 録音の救出::残す(wav);
        QVERIFY(kept);
        QCOMPARE(QFileInfo(*kept).absolutePath(), folder);
        static const QRegularExpression name(u"^録音_\\d{4}-\\d\\d-\\d\\d_\\d{6}_30秒\\.wav$"_s);
        QVERIFY2(name.match(QFileInfo(*kept).fileName()).hasMatch(), qPrintable(*kept));
        QCOMPARE(readFile(*kept), wav);

        // Seconds are cut, not rounded.
        QVERIFY(録音の救出::残す(recording(32000 * 45 + 31999)).value_or(QString()).endsWith(u"_45秒.wav"_s));
    }

    void keepsFiveNewestWavFilesAndNothingElseIsTouched()
    {
        QVERIFY(QDir().mkpath(folder));
        const QDateTime now = QDateTime::currentDateTime();
        for (int i = 1; i <= 5; ++i)
            place(folder + u"/old%1.wav"_s.arg(i), "w", now.addDays(-i));
        const QStringList others{u"ancient.WAV"_s, u"notes.txt"_s, u".wav"_s, u"take.wav.bak"_s, u"wav"_s};
        for (const QString& other : others)
            place(folder + u'/' + other, "o", now.addYears(-3));

        const auto kept = 録音の救出::残す(recording(32000 * 31));
        QVERIFY(kept);
        QStringList wavs =
            QDir(folder).entryList({u"*.wav"_s}, QDir::Files | QDir::Hidden | QDir::CaseSensitive, QDir::Name);
        wavs.removeAll(u".wav"_s);
        QCOMPARE(wavs, (QStringList{u"old1.wav"_s, u"old2.wav"_s, u"old3.wav"_s, u"old4.wav"_s,
                                    QFileInfo(*kept).fileName()}));
        for (const QString& other : others)
            QVERIFY2(QFileInfo::exists(folder + u'/' + other), qPrintable(other));

        // Files dated ahead, as after the clock was set back: the new recording stays.
        for (int i = 1; i <= 5; ++i)
            place(folder + u"/later%1.wav"_s.arg(i), "w", now.addDays(i));
        const auto next = 録音の救出::残す(recording(32000 * 31));
        QVERIFY(next && QFileInfo::exists(*next));
        QCOMPARE(QDir(folder).entryList({u"*.wav"_s}, QDir::Files | QDir::CaseSensitive).size(), 5);
    }

    void sameSecondNeverReplacesAnEarlierRescue()
    {
        // Files already named for this second and the next, as an earlier
        // rescue would have named them.
        QVERIFY(QDir().mkpath(folder));
        const QDateTime now = QDateTime::currentDateTime();
        QStringList taken;
        for (int s = 0; s <= 1; ++s) {
            const QString stamp = QLocale::c().toString(now.addSecs(s), u"yyyy-MM-dd_HHmmss"_s);
            taken.append(folder + u"/録音_"_s + stamp + u"_31秒.wav"_s);
            place(taken.last(), "earlier", now);
        }
        const QByteArray wav = recording(32000 * 31);
        const auto first = 録音の救出::残す(wav);
        const auto second = 録音の救出::残す(wav);
        QVERIFY(first && second && *first != *second);
        for (const QString& path : taken)
            QCOMPARE(readFile(path), QByteArray("earlier"));
        QCOMPARE(readFile(*first), wav);
        QCOMPARE(readFile(*second), wav);
    }
};

QTEST_GUILESS_MAIN(TestRecordingRescue)
#include "tst_RecordingRescue.moc"
