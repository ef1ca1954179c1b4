// The personal dictionary file: reading rules, prompt budgets, rewriting
// order, and every writer (append, CSV import, new order, delete).
#include "TestDataFolder.h"

#include "store/Config.h"
#include "store/Dictionary.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

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

}  // namespace

class TestDictionary : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data_;

    QString dictionaryPath() const { return data_->file(u"dictionary.txt"_s); }
    void setDictionary(const QString& text) { data_->writeText(u"dictionary.txt"_s, text); }
    QString dictionary() const { return data_->readText(u"dictionary.txt"_s); }
    QString csv(const QByteArray& bytes)
    {
        const QString path = data_->root() + u"/words.csv"_s;
        writeFile(path, bytes);
        return path;
    }

private Q_SLOTS:
    void init()
    {
        data_ = std::make_unique<TestDataFolder>();
        QDir().mkpath(data_->path());
    }
    void cleanup() { data_.reset(); }

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
        const QStringList added = Config::appendDictionaryWords({u"  新語\u3000"_s, u"よみ=俯瞰図"_s, u"渡邊"_s, u""_s,
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

        // A file that is not UTF-8 is never overwritten.
        const QByteArray shiftJis = QStringEncoder("Shift_JIS").encode(u"ふかんず=俯瞰図\n"_s);
        writeFile(dictionaryPath(), shiftJis);
        QCOMPARE(Config::appendDictionaryWords({u"新語"_s}), QStringList{});
        QCOMPARE(readFile(dictionaryPath()), shiftJis);
    }

    void importsCSVRows()
    {
        setDictionary(u"既存\n"_s);
        // With a byte-order mark, which must not hide the header row.
        const QString path =
            csv("\xEF\xBB\xBF"
                + u"よみ,ひょうき\r\nふかんず,俯瞰図\rReact,React\n\n\"東京\",\"とうきょう\"\n"
                  "  # コメント\n,なし\na,b,c,d\n'単独',\n単語\n既存\nx,表記\n\tタブ ,\" q \"\n"_s.toUtf8());
        const auto result = Config::importDictionaryCSV(path);
        QCOMPARE(result.added, 6);
        QCOMPARE(result.skipped, 1);  // 既存; header and comment rows count nowhere
        QCOMPARE(dictionary(), u"既存\nふかんず=俯瞰図\nReact\n東京=とうきょう\na=b\n単独\nタブ=q\n"_s);

        // Shift_JIS is read; UTF-16 and a cut-off file change nothing.
        setDictionary(u"# 辞書\n"_s);
        const QByteArray sjis =
            QStringEncoder("Shift_JIS").encode(u"読み,表記\r\nふかんず,俯瞰図\r\nわたなべ,渡邊\r\n"_s);
        QCOMPARE(Config::importDictionaryCSV(csv(sjis)).added, 2);
        QCOMPARE(dictionary(), u"# 辞書\nふかんず=俯瞰図\nわたなべ=渡邊\n"_s);

        const QByteArray before = readFile(dictionaryPath());
        const QString text = u"ぎじゅつ,技術\nabc,ABC\n"_s;
        QByteArray utf16le("\xFF\xFE");
        utf16le += QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QByteArray asciiUtf16;
        for (char c : QByteArray("abc,ABC\n"))
            asciiUtf16 += QByteArray(1, c) + QByteArray(1, '\0');
        const QByteArray cutOff = sjis + "\x82";  // a lead byte without its second byte
        for (const QByteArray& bytes : {utf16le, asciiUtf16, cutOff}) {
            const auto rejected = Config::importDictionaryCSV(csv(bytes));
            QCOMPARE(rejected.added + rejected.skipped, 0);
            QCOMPARE(readFile(dictionaryPath()), before);
        }
        const auto missing = Config::importDictionaryCSV(data_->root() + u"/none.csv"_s);
        QCOMPARE(missing.added + missing.skipped, 0);
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
};

QTEST_GUILESS_MAIN(TestDictionary)
#include "tst_Dictionary.moc"
