#include "ui/OverlayLiveText.h"

#include <QTextLayout>

#include <optional>

namespace {

const QString ellipsis = QStringLiteral("…");

}  // namespace

LiveTextTrimmer::LiveTextTrimmer(QFont font, int width) : font_(std::move(font)), width_(width) {}

int LiveTextTrimmer::Measure::firstLinesChars(int n) const
{
    int total = 0;
    for (int i = 0; i < n && i < lineLengths.size(); ++i)
        total += lineLengths[i];
    return total;
}

QString LiveTextTrimmer::forLayout(const QString& text)
{
    QString out = text;
    out.replace(u'\n', QChar::LineSeparator);
    out.replace(u'\r', QChar::LineSeparator);
    return out;
}

LiveTextTrimmer::Measure LiveTextTrimmer::measure(const QString& text) const
{
    Measure m;
    if (text.isEmpty()) {
        m.lines = 0;
        return m;
    }
    QTextLayout layout(forLayout(text), font_);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(false);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width_);
        m.lineLengths << line.textLength();
    }
    layout.endLayout();
    m.lines = int(m.lineLengths.size());
    m.firstLineChars = m.lineLengths.isEmpty() ? 1 : qMax(1, m.lineLengths.first());
    return m;
}

QString LiveTextTrimmer::update(const QString& text)
{
    const QString t = text.trimmed();
    const qsizetype length = t.size();
    if (length < offset_)
        offset_ = 0;  // the preview started over with a shorter text
    // Never start inside a character's surrogate pair.
    if (offset_ > 0 && offset_ < length && t.at(offset_).isLowSurrogate())
        ++offset_;

    QString rest = t.mid(offset_);
    for (int pass = 0; pass < maxPasses && !rest.isEmpty(); ++pass) {
        // Without "…" the text to show and the text to cut are the same: one
        // layout answers both questions.
        std::optional<Measure> restMeasure;
        if (offset_ > 0) {
            if (measure(ellipsis + rest).lines <= maxLines)
                break;
        } else {
            restMeasure = measure(rest);
            if (restMeasure->lines <= maxLines)
                break;
        }
        // Greedy wrapping starts afresh at every line, so the lines after a
        // dropped one stay as they were: drop all but the last three at
        // once, then one more while the "…" still pushes a fourth line.
        if (!restMeasure)
            restMeasure = measure(rest);
        const int drop = qMax(1, restMeasure->lines - maxLines);
        offset_ += qMax(1, restMeasure->firstLinesChars(drop));
        rest = t.mid(qMin(length, offset_));
    }
    return (offset_ > 0 ? ellipsis : QString()) + rest;
}
