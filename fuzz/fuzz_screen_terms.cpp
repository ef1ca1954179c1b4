// Screen text read from another application's accessibility tree and the hint
// terms picked from it. The tree is made from the input (see InputTree): no
// tree crashes the walk or the picking, and every term is at most 20
// characters of text the window shows.
#include "FuzzData.h"

#include "desktop/ScreenContext.h"
#include "support/Graphemes.h"

namespace {

// A stand-in for the desktop's accessibility tree, made from the input. The
// input's pieces, cut at NUL, are the elements in breadth-first order, the
// window first: a piece's first byte gives its number of children (0 to 3),
// the rest is its title, and the text after a byte 1 its value.
class InputTree : public AccessibleTree {
public:
    explicit InputTree(const QByteArray& input)
    {
        int next = 1;
        for (const QByteArray& piece : input.split('\0')) {
            AccessibleFacts f;
            const QByteArray rest = piece.mid(1);
            const qsizetype cut = rest.indexOf('\x01');
            f.title = QString::fromUtf8(cut < 0 ? rest : rest.left(cut));
            if (cut >= 0)
                f.value = QString::fromUtf8(rest.mid(cut + 1));
            for (int c = piece.isEmpty() ? 0 : quint8(piece[0]) % 4; c > 0; --c)
                f.children.append({QString(), QString::number(next++)});
            facts_.append(f);
        }
    }
    std::optional<bool> accessibilityOn() override { return true; }
    bool setAccessibilityOn(bool) override { return true; }
    Window activeWindow(qint64) override { return {AccessibleElement{{}, QStringLiteral("0")}}; }
    std::optional<QList<AccessibleFacts>> read(const QList<Ask>& asks, int valueLimit) override
    {
        QList<qint64> available;
        for (const Ask& ask : asks)
            available.append(facts_.value(ask.element.path.toInt()).children.size());
        const QList<int> given = childrenGiven(asks, available);
        QList<AccessibleFacts> out;
        for (qsizetype i = 0; i < asks.size(); ++i) {
            AccessibleFacts f = facts_.value(asks[i].element.path.toInt());
            if (f.value && Graphemes::count(*f.value) >= valueLimit)
                f.value.reset();
            f.children = f.children.mid(0, given[i]);
            out.append(f);
        }
        return out;
    }

private:
    QList<AccessibleFacts> facts_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzData::useScratchDataFolder();
    // Words past the prompt budget are the terms promoted first.
    QStringList words;
    for (char16_t a = u'ア'; a <= u'ト'; a += 2)
        words.append(QStringLiteral("データ") + QChar(a) + QStringLiteral("ベースサーバ"));
    FuzzData::writeDataFile(QStringLiteral("dictionary.txt"), words.join(u'\n').toUtf8());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputTree tree(FuzzData::bytes(data, size));
    const QString text = ScreenContext::axVisibleText(tree, 1);
    for (const QString& term : ScreenContext::extractTerms(text)) {
        if (!text.contains(term) || Graphemes::count(term) > 20)
            FuzzData::fail("a term is a short piece of the screen text", term);
    }
    return 0;
}
