// Reading the personal dictionary: its entries, the prompt lines built from
// them, the display marks and the readings to rewrite.
#include "store/Dictionary.h"

#include "store/Config.h"
#include "store/DictionaryFile.h"
#include "support/Graphemes.h"

#include <algorithm>

namespace Config {

namespace {

const QString comma = QStringLiteral("、");
const QString fullStop = QStringLiteral("。");

// The screen part of the prompt never exceeds this many characters.
constexpr int screenBudget = 40;

}  // namespace

QList<DictionaryEntry> dictionaryEntries()
{
    return dictionaryFile::entriesOf(dictionaryFile::read());
}

QString dictionaryLine()
{
    QString line;
    int used = 0;
    for (const DictionaryEntry& e : dictionaryEntries()) {
        const int cost = Graphemes::count(e.surface) + (line.isEmpty() ? 0 : 1);
        if (used + cost > dictionaryBudget)
            break;
        if (!line.isEmpty())
            line += comma;
        line += e.surface;
        used += cost;
    }
    return line.isEmpty() ? QString() : line + fullStop;
}

QString hintLine(const QStringList& screenTerms)
{
    QString screen;
    int screenUsed = 0;
    for (const QString& term : screenTerms) {
        const int cost = Graphemes::count(term) + (screen.isEmpty() ? 0 : 1);
        if (screenUsed + cost > screenBudget)
            continue;  // a later, shorter term may still fit
        if (!screen.isEmpty())
            screen += comma;
        screen += term;
        screenUsed += cost;
    }

    const int budget = screen.isEmpty() ? dictionaryBudget : dictionaryBudget - (screenUsed + 1);
    QString words;
    int wordsUsed = 0;
    for (const DictionaryEntry& e : dictionaryEntries()) {
        if (!screen.isEmpty() && screen.contains(e.surface))
            continue;
        const int cost = Graphemes::count(e.surface) + (words.isEmpty() ? 0 : 1);
        if (wordsUsed + cost > budget)
            break;
        if (!words.isEmpty())
            words += comma;
        words += e.surface;
        wordsUsed += cost;
    }

    QString prompt = words;
    if (!screen.isEmpty())
        prompt += (words.isEmpty() ? QString() : comma) + screen;
    return prompt.isEmpty() ? QString() : prompt + fullStop;
}

QList<DisplayEntry> dictionaryDisplayEntries()
{
    QList<DisplayEntry> out;
    int used = 0;
    for (const DictionaryEntry& e : dictionaryEntries()) {
        const int cost = Graphemes::count(e.surface) + (used > 0 ? 1 : 0);
        const bool active = used + cost <= dictionaryBudget;
        if (active)
            used += cost;
        out.append({e.reading, e.surface, active});
    }
    return out;
}

QList<Replacement> dictionaryReplacements()
{
    struct Counted {
        Replacement r;
        int length;
    };
    QList<Counted> counted;
    for (const DictionaryEntry& e : dictionaryEntries()) {
        if (e.reading)
            counted.append({{*e.reading, e.surface}, Graphemes::count(*e.reading)});
    }
    std::stable_sort(counted.begin(), counted.end(),
                     [](const Counted& a, const Counted& b) { return a.length > b.length; });
    QList<Replacement> out;
    out.reserve(counted.size());
    for (const Counted& c : counted)
        out.append(c.r);
    return out;
}

QString rewriteReadings(QString text)
{
    for (const Replacement& r : dictionaryReplacements())
        text.replace(r.from, r.to, Qt::CaseSensitive);
    return text;
}

}  // namespace Config
