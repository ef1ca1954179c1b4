// The files Sayri keeps in its data folder, each test in a fresh folder:
// settings, the log, the personal dictionary and its writers, the history,
// and rescued recordings.
#include "TestDataFolder.h"

#include "store/Config.h"
#include "store/Dictionary.h"
#include "store/HistoryStore.h"
#include "store/Log.h"
#include "store/RecordingRescue.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const char* validConfig = R"({
  "historyLimit": 100, "micDeviceUID": "", "triggerKeyId": "rightOption",
  "vadModelPath": "/m/vad.bin", "whisperBinary": "/b/whisper-server",
  "whisperModelPath": "/m/model.bin", "whisperPort": 9000 })";

// Each entry as "reading⇒surface", or the surface alone.
QStringList shown(const QList<Config::DictionaryEntry>& entries)
{
    QStringList out;
    for (const auto& e : entries)
        out.append(e.reading ? *e.reading + u"⇒"_s + e.surface : e.surface);
    return out;
}

// n characters that are each one emoji family (eight UTF-16 code units).
QString families(int n)
{
    return QString(u"👨‍👩‍👧"_s).repeated(n);
}

QString entryJson(int i, const QString& date = u"2026-01-31T09:05:07Z"_s)
{
    return uR"({"date": "%1", "raw": "生の%2", "text": "文%2", "mode": "文字起こし"})"_s.arg(date).arg(i);
}

// A 44-byte header and 16 kHz 16-bit mono samples: 32000 bytes a second.
QByteArray recording(qsizetype sampleBytes)
{
    return QByteArray(44, 'h') + QByteArray(sampleBytes, 'x');
}

// Writes a file, its folder too, dated `modified`.
void place(const QString& path, const QByteArray& bytes, const QDateTime& modified)
{
    writeFile(path, bytes);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
}

}  // namespace

class TestStoredFiles : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    QString folder;  // where rescued recordings go

    // The copies kept beside a file that did not decode.
    QStringList brokenCopies(const QString& name) const
    {
        return QDir(data->path()).entryList({name + u".broken-*"_s}, QDir::Files);
    }
    QString dictionaryPath() const { return data->file(u"dictionary.txt"_s); }
    void setDictionary(const QString& text) { data->writeText(u"dictionary.txt"_s, text); }
    QString dictionary() const { return data->readText(u"dictionary.txt"_s); }
    QString csv(const QByteArray& bytes)
    {
        const QString path = data->root() + u"/words.csv"_s;
        writeFile(path, bytes);
        return path;
    }

private Q_SLOTS:
    void init()
    {
        data = std::make_unique<TestDataFolder>();
        QDir().mkpath(data->path());
        folder = 録音の救出::フォルダ();
    }
    void cleanup() { data.reset(); }

    void firstStartCreatesTheDictionaryAndDefaults()
    {
        Config::bootstrap();
        QCOMPARE(dictionary(), Config::defaultDictionary);
        const QJsonObject o = QJsonDocument::fromJson(data->readText(u"config.json"_s).toUtf8()).object();
        QCOMPARE(o.keys(), (QStringList{"historyLimit", "micDeviceUID", "triggerKeyId", "vadModelPath", "whisperBinary",
                                        "whisperModelPath", "whisperPort"}));
        QCOMPARE(o.value("whisperPort").toInteger(), 8773);
        QCOMPARE(o.value("whisperModelPath").toString(), data->root() + "/.pomeru/models/ggml-large-v3-turbo-q5_0.bin");

        // Existing files are kept as they are, even an empty dictionary.
        setDictionary(QString());
        Config::bootstrap();
        QCOMPARE(dictionary(), QString());
    }

    void decoding_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<bool>("loads");
        const QString base = QString::fromUtf8(validConfig);
        QTest::newRow("valid") << base << true;
        QTest::newRow("not JSON") << "{ historyLimit: 1" << false;
        QTest::newRow("array") << "[]" << false;
        QTest::newRow("port as string") << QString(base).replace("9000", "\"9000\"") << false;
        QTest::newRow("port 2^63") << QString(base).replace("9000", "9223372036854775808") << false;
        QTest::newRow("port int64 max") << QString(base).replace("9000", "9223372036854775807") << true;
        QTest::newRow("port fraction") << QString(base).replace("9000", "9000.5") << false;
        QTest::newRow("missing key") << QString(base).replace("\"historyLimit\": 100,", "") << false;
        QTest::newRow("null required") << QString(base).replace("\"\"", "null") << false;
        QTest::newRow("null optionals") << QString(base).replace(
            "}", ", \"overlayAnchor\": null, \"screenHintEnabled\": null}")
                                        << true;
        QTest::newRow("optional wrong type")
            << QString(base).replace("}", ", \"screenHintEnabled\": \"yes\"}") << false;
        QTest::newRow("unknown key") << QString(base).replace("}", ", \"colour\": \"blue\"}") << true;
    }

    void decoding()
    {
        QFETCH(QString, json);
        QFETCH(bool, loads);
        data->writeText(u"config.json"_s, json);
        Config::bootstrap();
        const QStringList broken = brokenCopies(u"config.json"_s);
        QCOMPARE(broken.size(), loads ? 0 : 1);
        if (loads) {
            QVERIFY(Config::shared().whisperPort == 9000 || Config::shared().whisperPort == 9223372036854775807LL);
            QCOMPARE(data->readText(u"config.json"_s), json);  // not rewritten
            QVERIFY(Config::shared().screenHintsOn());         // null optionals read as unset
        } else {
            // The default file replaces it, and the broken one is kept beside it.
            QCOMPARE(Config::shared(), ConfigData{});
            QCOMPARE(data->readText(broken.first()), json);
        }
    }

    // Optionals are written only when set; a failed save loses nothing.
    void save()
    {
        data->writeText(u"config.json"_s, QString(validConfig).replace("}", ", \"colour\": \"blue\"}"));
        Config::bootstrap();
        Config::edit([](ConfigData& c) {
            c.screenHintEnabled = false;
            c.overlayAnchor = QStringLiteral("760,96");
        });
        QVERIFY(Config::save());
        const QString saved = data->readText(u"config.json"_s);
        QCOMPARE(QJsonDocument::fromJson(saved.toUtf8()).object().size(), 9);  // the unknown key goes at the next save
        QCOMPARE(ConfigData::decode(saved.toUtf8()), Config::shared());

        // A full disk, played by a file-size limit: the old file stays whole.
        Config::edit([](ConfigData& c) { c.micDeviceUID = QString(200, u'm'); });
        {
            const FullDisk full;
            QVERIFY(!Config::save());
        }
        QCOMPARE(data->readText(u"config.json"_s), saved);

        // A broken file that cannot be kept aside (its copy's names taken) is not replaced.
        data->writeText(u"config.json"_s, u"{ broken"_s);
        for (int s = 0; s < 5; ++s)
            QDir().mkpath(data->file("config.json.broken-"
                                     + QDateTime::currentDateTime().addSecs(s).toString("yyyyMMdd-HHmmss")));
        Config::bootstrap();
        QVERIFY(!Config::save());
        QCOMPARE(data->readText(u"config.json"_s), u"{ broken"_s);
    }

    void readsRaceAWrite()
    {
        std::atomic<bool> stop{false};
        std::atomic<int> torn{0};
        std::thread reader([&] {
            while (!stop) {
                const ConfigData c = Config::shared();
                if (c.whisperBinary != QStringLiteral("/b/%1").arg(c.whisperPort) && c.whisperPort != 8773)
                    ++torn;
            }
        });
        for (int i = 0; i < 20000; ++i)
            Config::edit([i](ConfigData& c) {
                c.whisperPort = 10000 + i;
                c.whisperBinary = QStringLiteral("/b/%1").arg(10000 + i);
            });
        stop = true;
        reader.join();
        QCOMPARE(torn.load(), 0);
    }

    void logLineFormat()
    {
        Log::write(u"サイリ起動"_s);
        Log::write(QString());
        Log::write(u"一行目\n二行目"_s);
        const QString text = data->readText(u"sayri.log"_s);
        const QString stamp = u"\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] "_s;
        const QRegularExpression format(u"^"_s + stamp + u"サイリ起動\\n"_s + stamp + u"\\n"_s + stamp
                                        + u"一行目\\n二行目\\n$"_s);
        QVERIFY2(format.match(text).hasMatch(), qPrintable(text));
        const QString now = QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm"_s);
        QVERIFY(text.mid(1, 16) == now || text.mid(1, 10) == now.left(10));  // local time, not UTC

        // Without the folder the line is lost quietly, and a handle for child
        // output writes into the null device (appending: tst_Recognition).
        QVERIFY(QDir(data->path()).removeRecursively());
        Log::write(u"どこにも書けない"_s);
        QVERIFY(!QFile::exists(data->file(u"sayri.log"_s)));
        auto sink = Log::handle(u"no/such/folder/x.log"_s);
        QVERIFY(sink->isOpen());
        QCOMPARE(sink->write("discarded"), 9);
    }

    void parsesLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("default file has no words") << Config::defaultDictionary.toUtf8() << QStringList{};
        QTest::newRow("plain word and reading, CR LF, CR CR LF, CR blank LF")
            << u"株式会社あおぞら\r \nふかんず=俯瞰図\r\r\n"_s.toUtf8()
            << QStringList{u"株式会社あおぞら"_s, u"ふかんず⇒俯瞰図"_s};
        QTest::newRow("spaces of every width trimmed, blank lines skipped")
            << u"\t\u3000 ふかんず \u2003=\u00A0俯瞰 図\u3000\t\n \n\u3000\u2002\u205F\n"_s.toUtf8()
            << QStringList{u"ふかんず⇒俯瞰 図"_s};
        QTest::newRow("comments, also indented; full-width signs and keycaps are text")
            << u"#x\n  # y\n＃見出し\nかな＝カナ\n#\u20E3 記号"_s.toUtf8()
            << QStringList{u"＃見出し"_s, u"かな＝カナ"_s, u"#\u20E3 記号"_s};
        QTest::newRow("leading equals skipped, first splits, an empty side keeps the line")
            << u"=\n==\n = \n=語\n語=\n= =語\nよみ= \u3000\n==よみ=表記\na==b\nx=y=z"_s.toUtf8()
            << QStringList{u"="_s,     u"=="_s,    u"="_s,         u"=語"_s,  u"語="_s,
                           u"= =語"_s, u"よみ="_s, u"よみ⇒表記"_s, u"a⇒=b"_s, u"x⇒y=z"_s};
        QTest::newRow("not UTF-8: no words") << QByteArray("abc\n\xff\xfe\n") << QStringList{};
        QTest::newRow("cut off inside a character") << QByteArray("\xE8\xAA\x9E\n\xE8\xAA") << QStringList{};
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF語\n") << QStringList{u"語"_s};
    }
    void parsesLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        writeFile(dictionaryPath(), bytes);
        QCOMPARE(shown(Config::dictionaryEntries()), entries);
    }

    // The dictionary part holds 185 characters, less what the screen part
    // (at most 40) and its comma take. Without screen terms the hint line is
    // the dictionary line.
    void promptBudgets_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QStringList>("screen");
        QTest::addColumn<QString>("hint");
        QTest::newRow("185 exactly; stops at the first word that does not fit")
            << families(180) + u"\nabcd\nあいう\nx"_s << QStringList{} << families(180) + u"、abcd。"_s;
        QTest::newRow("186") << families(180) + u"\nabcde\nx"_s << QStringList{} << families(180) + u"。"_s;
        QTest::newRow("first word too long") << families(186) + u"\n俯瞰図"_s << QStringList{} << QString();
        QTest::newRow("words first, screen terms last, no word twice")
            << u"ふかんず=俯瞰図\n渡邊"_s << QStringList{u"TypeScript"_s, u"渡邊"_s} << u"俯瞰図、TypeScript、渡邊。"_s;
        QTest::newRow("screen part of 40") << QString() << QStringList{families(40), u"a"_s} << families(40) + u"。"_s;
        QTest::newRow("screen term too long is skipped, a later one fits")
            << QString() << QStringList{families(30), u"0123456789"_s, u"012345678"_s}
            << families(30) + u"、012345678。"_s;
        QTest::newRow("screen term of 41") << QString() << QStringList{families(41), u"後"_s} << u"後。"_s;
        // Screen part "画面xyz" is 5 characters: 185 - 6 = 179 left for words.
        QTest::newRow("179 beside the screen part")
            << families(179) + u"\nz"_s << QStringList{u"画面xyz"_s} << families(179) + u"、画面xyz。"_s;
        QTest::newRow("180 beside the screen part")
            << families(180) + u"\nz"_s << QStringList{u"画面xyz"_s} << u"画面xyz。"_s;
    }
    void promptBudgets()
    {
        QFETCH(QString, words);
        QFETCH(QStringList, screen);
        QFETCH(QString, hint);
        setDictionary(words);
        QCOMPARE(Config::hintLine(screen), hint);
        if (screen.isEmpty())
            QCOMPARE(Config::dictionaryLine(), hint);
    }

    void replacementsLongestReadingFirst()
    {
        setDictionary(u"きょう=京\n渡辺=渡邊\nきょうと=京都\nabcd=ABCD\nか\u3099か\u3099か\u3099=ガガガ\n俯瞰図"_s);
        QStringList pairs;
        for (const auto& r : Config::dictionaryReplacements())
            pairs.append(r.from + u'⇒' + r.to);
        // Counted in characters: the three voiced kana are 3, not 6.
        QCOMPARE(pairs, (QStringList{u"きょうと⇒京都"_s, u"abcd⇒ABCD"_s, u"きょう⇒京"_s,
                                     u"か\u3099か\u3099か\u3099⇒ガガガ"_s, u"渡辺⇒渡邊"_s}));
    }

    void appendSkipsDuplicatesAndKeepsBytes()
    {
        QCOMPARE(Config::appendDictionaryWords({u"語"_s}), QStringList{u"語"_s});  // creates the file
        QCOMPARE(dictionary(), u"語\n"_s);

        setDictionary(u"# c\nふかんず=俯瞰図\n渡邊"_s);
        const auto added = Config::appendDictionaryWords({u"  新語\u3000"_s, u"よみ=俯瞰図"_s, u"渡邊"_s, u""_s,
                                                                 u"#x"_s, u"せき=席"_s, u"席"_s, u"新語"_s, u"=="_s});
        QCOMPARE(added, (QStringList{u"新語"_s, u"せき=席"_s, u"=="_s}));
        QCOMPARE(dictionary(), u"# c\nふかんず=俯瞰図\n渡邊\n新語\nせき=席\n==\n"_s);

        const QByteArray before = readFile(dictionaryPath());
        QCOMPARE(Config::appendDictionaryWords({u"ふかんず=俯瞰図"_s, u"席"_s}), QStringList{});
        QCOMPARE(readFile(dictionaryPath()), before);

        writeFile(dictionaryPath(), "\xEF\xBB\xBF"
                                    "a=b\r\nc");
        QCOMPARE(Config::appendDictionaryWords({u"d"_s, u"b"_s}), QStringList{u"d"_s});
        QCOMPARE(readFile(dictionaryPath()), QByteArray("\xEF\xBB\xBF"
                                                        "a=b\r\nc\nd\n"));

        // A file that is not UTF-8 is never overwritten; a full disk leaves it as it was.
        const QByteArray shiftJis = QStringEncoder("Shift_JIS").encode(u"ふかんず=俯瞰図\n"_s);
        writeFile(dictionaryPath(), shiftJis);
        QCOMPARE(Config::appendDictionaryWords({u"新語"_s}), std::nullopt);
        QCOMPARE(readFile(dictionaryPath()), shiftJis);
        setDictionary(u"語\n"_s);
        const FullDisk full(2);
        QCOMPARE(Config::appendDictionaryWords({u"新語"_s}), std::nullopt);
        QVERIFY(!Config::rewriteDictionary({}) && !Config::removeWord(u"x"_s));
        QCOMPARE(dictionary(), u"語\n"_s);
    }

    void importsCSVRows()
    {
        setDictionary(u"既存\n"_s);
        // With a byte-order mark, which must not hide the header row. Code
        // fences, a third field and words that would not read back are no rows.
        const QString path =
            csv("\xEF\xBB\xBF"
                + u"よみ,ひょうき\r\nふかんず,俯瞰図\rReact,React\n\n\"東京\",\"とうきょう\"\n"
                  "  # コメント\n,なし\na,b,c,d\n'単独',\n単語\n既存\nx,表記\n\tタブ ,\" q \",\n```csv\n"
                  "E=mc²\nE=mc²,E=mc²\nx=y,z\n#タグ,#タグ\nDate,Description,Amount"_s.toUtf8());
        const Config::CSVWords read = Config::readDictionaryCSV(path);
        QCOMPARE(read.unusable, 6);
        QCOMPARE(dictionary(), u"既存\n"_s);  // reading writes nothing
        const auto result = Config::importDictionaryCSV(path);
        QCOMPARE(result.added, 5);
        QCOMPARE(result.skipped, 1);  // 既存; header, comment and unusable rows count nowhere
        QCOMPARE(dictionary(), u"既存\nふかんず=俯瞰図\nReact\n東京=とうきょう\n単独\nタブ=q\n"_s);
        // The file as it was is kept, and one step puts it back.
        QVERIFY(Config::putBackDictionaryBeforeImport());
        QCOMPARE(dictionary(), u"既存\n"_s);

        // Shift_JIS is read; UTF-16, a cut-off file and a file over the limit change nothing.
        setDictionary(u"# 辞書\n"_s);
        const QByteArray sjis =
            QStringEncoder("Shift_JIS").encode(u"読み,表記\r\nふかんず,俯瞰図\r\nわたなべ,渡邊\r\n"_s);
        QCOMPARE(Config::importDictionaryCSV(csv(sjis)).added, 2);
        QCOMPARE(dictionary(), u"# 辞書\nふかんず=俯瞰図\nわたなべ=渡邊\n"_s);

        const QByteArray before = readFile(dictionaryPath());
        const QByteArray utf16le = QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)
                                       .encode(u"ぎじゅつ,技術\nabc,ABC\n"_s);
        QByteArray asciiUtf16;
        for (char c : QByteArray("abc,ABC\n"))
            asciiUtf16 += QByteArray(1, c) + QByteArray(1, '\0');
        const QByteArray cutOff = sjis + "\x82";  // a lead byte without its second byte
        using Problem = Config::CSVWords::Problem;
        for (const auto& [bytes, problem] :
             {std::pair{utf16le, Problem::notText}, {asciiUtf16, Problem::notText}, {cutOff, Problem::notText},
              {"a,b\n" + QByteArray(Config::csvSizeLimit, '#'), Problem::tooLarge}}) {
            QCOMPARE(Config::readDictionaryCSV(csv(bytes)).problem, problem);
            const auto rejected = Config::importDictionaryCSV(csv(bytes));
            QCOMPARE(rejected.added + rejected.skipped, 0);
            QCOMPARE(readFile(dictionaryPath()), before);
        }
        QCOMPARE(Config::readDictionaryCSV(data->root() + u"/none.csv"_s).problem, Problem::cannotOpen);
    }

    void rewriteWritesHeaderAndWords()
    {
        setDictionary(u"# 古い\n古い語\n"_s);
        Config::rewriteDictionary(
            {{u"わたなべ"_s, u"渡邊"_s}, {std::nullopt, u"俯瞰図"_s}, {u"x"_s, u"\u0301y"_s}, {u"#x"_s, u"y"_s}});
        QCOMPARE(dictionary(), u"# じぶん辞書: 1行1語。上の語ほど聞き取りに強く効きます（アプリでドラッグ並べ替え）\n"
                               "# 「ふかんず=俯瞰図」と書くと、左側の言葉が出てきたとき自動で右側に直します\n"
                               "# 左側はひらがなでなくてもOK。「渡辺=渡邊」のように、間違って出る書き方も直せます\n\n"
                               "わたなべ=渡邊\n俯瞰図\nx = \u0301y\n=#x=y\n"_s);
        QCOMPARE(shown(Config::dictionaryEntries()),
                 (QStringList{u"わたなべ⇒渡邊"_s, u"俯瞰図"_s, u"x⇒\u0301y"_s, u"#x⇒y"_s}));
    }

    void removeWordKeepsEverythingElse()
    {
        Config::removeWord(u"a"_s);  // a missing or unreadable file is left alone
        QVERIFY(!QFile::exists(dictionaryPath()));
        writeFile(dictionaryPath(), "a\n\xff\n");
        Config::removeWord(u"a"_s);
        QCOMPARE(readFile(dictionaryPath()), QByteArray("a\n\xff\n"));

        setDictionary(u"# 俯瞰図\n\nふかんず=俯瞰図\n  俯瞰図 \n渡邊\n俯瞰図=別\n俯瞰図x"_s);
        Config::removeWord(u"俯瞰図"_s);
        QCOMPARE(dictionary(), u"# 俯瞰図\n\n渡邊\n俯瞰図=別\n俯瞰図x"_s);

        writeFile(dictionaryPath(), "\xEF\xBB\xBF"
                                    "a\r\nb\r\n\r\n");
        Config::removeWord(u"a"_s);
        QCOMPARE(readFile(dictionaryPath()), QByteArray("\xEF\xBB\xBF"
                                                        "b\r\n\r\n"));

        setDictionary(u"= =語\n語\n"_s);
        Config::removeWord(u"= =語"_s);  // a blank reading: the whole line is the word
        QCOMPARE(dictionary(), u"語\n"_s);
    }

    // Every hand-written entry loads; an add keeps the newest hundred and
    // writes them all, dated in UTC with whole seconds.
    void historyCapsAtAHundredOnAddAndMirrorsTheFile()
    {
        QStringList items;
        for (int i = 0; i < 150; ++i)
            items.append(entryJson(i));
        data->writeText(u"history.json"_s, u"[\n"_s + items.join(u",\n"_s) + u"\n]"_s);

        HistoryStore store;
        QCOMPARE(store.entries().size(), 150);
        QCOMPARE(store.entries().at(0).date, QDateTime(QDate(2026, 1, 31), QTime(9, 5, 7), QTimeZone::utc()));
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        QVERIFY(store.add(u"新"_s, u"新"_s, u"文字起こし"_s));
        QCOMPARE(store.entries().size(), 100);
        const QDateTime date = store.entries().first().date;
        QVERIFY(date >= before && date <= QDateTime::currentDateTimeUtc());
        QCOMPARE(store.entries().at(1).raw, u"生の0"_s);
        QCOMPARE(store.entries().last().raw, u"生の98"_s);

        QCOMPARE(HistoryStore().entries(), store.entries());
        static const QRegularExpression stamp(uR"("date": "\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ")"_s);
        QCOMPARE(data->readText(u"history.json"_s).count(stamp), 100);
    }

    void historyDecodesStrictly_data()
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
    void historyDecodesStrictly()
    {
        QFETCH(QString, json);
        QFETCH(int, entries);
        const auto decoded = HistoryStore::decode(json.toUtf8());
        QCOMPARE(decoded ? int(decoded->size()) : -1, entries);
    }

    void undecodableHistoryIsKeptAsideBeforeItIsReplaced()
    {
        const QString broken = u"["_s + entryJson(1, u"2026-01-31T09:05:07.5Z"_s) + u"]"_s;
        data->writeText(u"history.json"_s, broken);
        HistoryStore store;
        QVERIFY(store.entries().isEmpty());
        QCOMPARE(data->readText(u"history.json"_s), broken);  // loading changes nothing

        QVERIFY(store.add(u"a"_s, u"b"_s, u"文字起こし"_s));
        QVERIFY(data->readText(u"sayri.log"_s).contains(brokenCopies(u"history.json"_s).value(0, u"(none)"_s)));

        QVERIFY(store.add(u"c"_s, u"d"_s, u"文字起こし"_s));
        QCOMPARE(HistoryStore().entries().size(), 2);

        // Another broken file in the same second is kept too; loading made no copy.
        data->writeText(u"history.json"_s, u"{"_s);
        QVERIFY(HistoryStore().add(u"a"_s, u"a"_s, u"文字起こし"_s));
        QStringList contents;
        for (const QString& name : brokenCopies(u"history.json"_s))
            contents.append(data->readText(name));
        contents.sort();
        QCOMPARE(contents, (QStringList{broken, u"{"_s}));
    }

    void rescueKeepsOnlyThirtySecondsOrMore()
    {
        QCOMPARE(folder, data->path() + u"/救出した録音"_s);
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

    void rescueKeepsFiveNewestWavFilesAndNothingElseIsTouched()
    {
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

    void rescueInTheSameSecondNeverReplacesAnEarlierOne()
    {
        // Files already named for this second and the next, as an earlier
        // rescue would have named them.
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

QTEST_GUILESS_MAIN(TestStoredFiles)
#include "tst_StoredFiles.moc"
