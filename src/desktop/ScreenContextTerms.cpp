// Picking hint terms out of the text read from the screen.
#include "desktop/ScreenContext.h"

#include "store/Dictionary.h"
#include "support/Graphemes.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

// Katakana words of three or more characters, kanji compounds, Latin words of
// three or more letters and digits; in this order.
const QStringList& termPatterns()
{
    static const QStringList patterns{
        QStringLiteral("[ァ-ヶ][ァ-ヶー]{2,}"),
        QStringLiteral("[一-龠々]{2,}"),
        QStringLiteral("[A-Za-z][A-Za-z0-9]{2,}"),
    };
    return patterns;
}

// Words every window shows that say nothing about what the user will speak.
const QSet<QString>& 除外()
{
    static const QSet<QString> words{
        QStringLiteral("ファイル"),     QStringLiteral("フォルダ"),   QStringLiteral("メニュー"),
        QStringLiteral("ウィンドウ"),   QStringLiteral("ボタン"),     QStringLiteral("クリック"),
        QStringLiteral("ツール"),       QStringLiteral("ページ"),     QStringLiteral("サイト"),
        QStringLiteral("メール"),       QStringLiteral("パスワード"), QStringLiteral("ダウンロード"),
        QStringLiteral("アップロード"), QStringLiteral("アプリ"),     QStringLiteral("コピー"),
        QStringLiteral("ペースト"),     QStringLiteral("キャンセル"), QStringLiteral("サインイン"),
        QStringLiteral("ログイン"),     QStringLiteral("アカウント"), QStringLiteral("ホーム"),
        QStringLiteral("テキスト"),     QStringLiteral("エラー"),     QStringLiteral("セキュリティ"),
        QStringLiteral("ブックマーク"), QStringLiteral("タブ"),       QStringLiteral("リンク"),
        QStringLiteral("チャット"),     QStringLiteral("and"),        QStringLiteral("the"),
        QStringLiteral("for"),          QStringLiteral("with"),       QStringLiteral("html"),
        QStringLiteral("https"),        QStringLiteral("http"),       QStringLiteral("com"),
        QStringLiteral("www"),          QStringLiteral("New"),        QStringLiteral("Tab"),
    };
    return words;
}

constexpr int maxTermLength = 20;
constexpr int maxOrdinaryTerms = 15;

struct Counted {
    QString text;
    int count = 0;
    qsizetype firstAt = 0;  // where it first occurs in the text
    int length = 0;         // characters
};

bool hasAsciiLetterAndDigit(const QString& t)
{
    bool letter = false, digit = false;
    for (const QChar c : t) {
        const char16_t u = c.unicode();
        letter = letter || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
        digit = digit || (u >= u'0' && u <= u'9');
    }
    return letter && digit;
}

}  // namespace

QStringList ScreenContext::extractTerms(const QString& text)
{
    if (text.isEmpty())
        return {};

    // Occurrence counts, and where each text first occurs.
    QHash<QString, qsizetype> indexOf;
    QList<Counted> counted;
    for (const QString& pattern : termPatterns()) {
        const QRegularExpression re(pattern);
        if (!re.isValid())
            continue;
        QRegularExpressionMatchIterator it = re.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            const QString t = m.captured(0);
            const auto found = indexOf.constFind(t);
            if (found != indexOf.constEnd()) {
                ++counted[*found].count;
                continue;
            }
            indexOf.insert(t, counted.size());
            counted.append({t, 1, m.capturedStart(0), 0});
        }
    }

    QSet<QString> active, inactive;
    for (const Config::DisplayEntry& e : Config::dictionaryDisplayEntries())
        (e.active ? active : inactive).insert(e.surface);

    // Most frequent first; equal counts in the order they first occur.
    std::sort(counted.begin(), counted.end(), [](const Counted& a, const Counted& b) {
        return a.count != b.count ? a.count > b.count : a.firstAt < b.firstAt;
    });

    QStringList promoted;
    QList<Counted> ordinary;
    QSet<QString> taken;  // lower-cased forms already met
    for (Counted& c : counted) {
        if (除外().contains(c.text))
            continue;
        c.length = Graphemes::count(c.text);
        if (c.length > maxTermLength)
            continue;
        if (hasAsciiLetterAndDigit(c.text))
            continue;
        const QString lower = c.text.toLower();
        if (taken.contains(lower))
            continue;
        taken.insert(lower);
        if (active.contains(c.text))
            continue;  // the dictionary part of the prompt carries it already
        if (inactive.contains(c.text)) {
            promoted.append(c.text);
            continue;
        }
        if (c.count >= 2 || c.length >= 5)
            ordinary.append(c);
    }

    std::stable_sort(ordinary.begin(), ordinary.end(), [](const Counted& a, const Counted& b) {
        return a.count != b.count ? a.count > b.count : a.length > b.length;
    });
    QStringList terms = promoted;
    for (qsizetype i = 0; i < ordinary.size() && i < maxOrdinaryTerms; ++i)
        terms.append(ordinary[i].text);
    return terms;
}
