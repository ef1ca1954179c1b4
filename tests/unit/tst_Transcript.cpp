// Transcript clean-up: trailing invented phrases, the seam between lines, and
// the joining of a transcript's lines, with a property test over random text.
#include "recognition/Transcript.h"
#include "support/Graphemes.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// What the clean-up may change: white space, line feeds and the separators
// it puts between lines.
QString withoutSeams(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (!c.isSpace() && c != u'、' && c != u'。')
            out += c;
    }
    return out;
}

QString randomText(QRandomGenerator& random)
{
    // Words, punctuation and blanks; then lone surrogates, controls, joiners,
    // flags and marks that attach to whatever comes before them, also across a
    // line break.
    static const QStringList parts =
        u"あ|か|を|は|て|し|っ|ン|ま|た|で|す|が|せ|ん|け|れ|ど|も|日本|会議|考え|てい"
        u"|a|Z|7|Mac|OS|、|。|！|？|!|?|…|,|.|．| |\u3000|\t|\n|\n|\n\n"
        u"|です|ました|ですが|また|そして|ので|ご視聴ありがとうございました"
        u"|ありがとうございました|おわり|Thanks for watching"
        u"|\xD800|\xDC00|\u0000|\u001B|\u0085|\u200D|\u3099|\u20E3|\uFEFF|\r|👍🏽|🇯🇵"_s.split(u'|');
    QString text;
    for (int i = random.bounded(1, 120); i > 0; --i)
        text += parts.at(random.bounded(int(parts.size())));
    return text;
}

}  // namespace

class TestTranscript : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void clean_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("standalone phrase alone") << u"ご視聴ありがとうございました。"_s << u""_s;
        QTest::newRow("standalone phrase after text")
            << u"今日は晴れです。ご視聴ありがとうございました"_s << u"今日は晴れです。"_s;
        QTest::newRow("trailing-only phrase alone is kept")
            << u"ありがとうございました"_s << u"ありがとうございました"_s;
        QTest::newRow("trailing-only phrase after text")
            << u"資料を送りました。ありがとうございました。"_s << u"資料を送りました。"_s;
        QTest::newRow("English upper case after text") << u"OK! THANKS FOR WATCHING!"_s << u"OK!"_s;
        QTest::newRow("fifth removal is not made")
            << u"本文。おわり。終わり。おしまい。おわり。おわり。"_s << u"本文。おわり。"_s;
        QTest::newRow("four removals then a lone standalone phrase stays")
            << u"ご視聴ありがとうございました。ありがとうございます。おわり！おしまい？終わり。"_s
            << u"ご視聴ありがとうございました。"_s;
        QTest::newRow("phrase inside a longer sentence")
            << u"本文。ご視聴ありがとうございましたね"_s << u"本文。ご視聴ありがとうございましたね"_s;
        QTest::newRow("full-width stop does not end a sentence")
            << u"本文．ご視聴ありがとうございました"_s << u"本文．ご視聴ありがとうございました"_s;
        QTest::newRow("trimming set around the last sentence")
            << u"本文。\u3000ご視聴ありがとうございました\u3000．！"_s << u"本文。"_s;
        QTest::newRow("line breaks end sentences, then lines join")
            << u"  今日は\n晴れです\n\nご視聴ありがとうございました\n"_s << u"今日は、晴れです"_s;
        QTest::newRow("only white space") << u" \u3000\n\t\n"_s << u""_s;
        QTest::newRow("terminators only") << u"。。！"_s << u"。。！"_s;
    }
    void clean()
    {
        QFETCH(QString, raw);
        QFETCH(QString, cleaned);
        QCOMPARE(Transcript::clean(raw), cleaned);
    }

    void seam_data()
    {
        QTest::addColumn<QString>("prev");
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("seam");
        QTest::newRow("2 ASCII meets ASCII") << u"Mac"_s << u"OS"_s << u" "_s;
        QTest::newRow("2 before the short-line rule") << u"ver9"_s << u"0"_s << u" "_s;
        QTest::newRow("3 punctuation last") << u"会議です。"_s << u"資料は後で"_s << u""_s;
        QTest::newRow("4 punctuation first") << u"会議です"_s << u"…資料は後で"_s << u""_s;
        QTest::newRow("5 continuation") << u"会議です"_s << u"を送ります"_s << u""_s;
        QTest::newRow("5 continuation longer prefix") << u"資料を送りました"_s << u"ましたら連絡"_s << u""_s;
        QTest::newRow("6 one character, several code units") << u"会議です"_s << u"👍🏽"_s << u""_s;
        QTest::newRow("8 new start after sentence end") << u"会議です"_s << u"また明日"_s << u"。"_s;
        QTest::newRow("8 new start mid-sentence") << u"会議の件"_s << u"それから資料"_s << u"、"_s;
        QTest::newRow("9 sentence end") << u"明日は会議です"_s << u"資料は後で送ります"_s << u"。"_s;
        QTest::newRow("10 comma form") << u"会議ですが"_s << u"資料は後で送ります"_s << u"、"_s;
        QTest::newRow("11 comma character") << u"雨が降って"_s << u"出かけた"_s << u"、"_s;
        QTest::newRow("11 needs more than one character") << u"て"_s << u"出かけた"_s << u""_s;
        QTest::newRow("12 conjunction") << u"なお"_s << u"資料は後で"_s << u"、"_s;
        QTest::newRow("13 otherwise") << u"会議に"_s << u"行きます"_s << u""_s;
        QTest::newRow("prefix is a whole character") << u"会議です"_s << u"は\u309Aソコン"_s << u"。"_s;
        QTest::newRow("last is a whole character") << u"雨が降って\u3099"_s << u"出かけた"_s << u""_s;
    }
    void seam()
    {
        QFETCH(QString, prev);
        QFETCH(QString, next);
        QFETCH(QString, seam);
        QCOMPARE(Transcript::継ぎ目(prev, next), seam);
    }

    // Joining decides every seam as the seam rule does on the whole text so
    // far, however long; neither joining nor clean-up loses or reorders characters.
    void randomText()
    {
        const QString before = u"前置き"_s.repeated(400);
        QCOMPARE(Transcript::joinLines(before + u"\n会議\nです\nまた明日"_s), before + u"会議です。また明日"_s);
        QRandomGenerator random(20240531);
        for (int round = 0; round < 3000; ++round) {
            const QString text = ::randomText(random);
            QString expected;
            for (const QString& piece : text.split(u'\n')) {
                const QString line = Graphemes::trimmedBlanks(piece);
                if (!line.isEmpty())
                    expected += (expected.isEmpty() ? QString() : Transcript::継ぎ目(expected, line)) + line;
            }
            const QString joined = Transcript::joinLines(text);
            QCOMPARE(joined, expected);
            QCOMPARE(Transcript::joinLines(joined), joined);
            QCOMPARE(withoutSeams(joined), withoutSeams(text));

            const QString cleaned = Transcript::clean(text);
            QVERIFY2(withoutSeams(text).startsWith(withoutSeams(cleaned)), qPrintable(text));
            QVERIFY(!cleaned.contains(u'\n'));
        }
    }
};

QTEST_GUILESS_MAIN(TestTranscript)
#include "tst_Transcript.moc"
