#pragma once

#include <QFont>
#include <QList>
#include <QString>

// The tail of the live provisional text that fits the recording bar's three
// lines: when the text grows past them, whole lines leave at the front and
// "…" leads what remains. The cut point only moves forward during one
// recording, so the lines on screen do not jump back and forth.
class LiveTextTrimmer {
public:
    static constexpr int maxLines = 3;
    static constexpr int maxPasses = 50;

    LiveTextTrimmer(QFont font, int width);

    struct Measure {
        int lines = 0;                     // 0 for an empty text
        int firstLineChars = 1;            // UTF-16 code units in the first line, at least 1
        int firstLinesChars(int n) const;  // code units in the first n lines
        QList<int> lineLengths;
    };
    // `text` laid out in the given font and width; line breaks in the text
    // start new lines.
    Measure measure(const QString& text) const;

    // The text to show for the preview's current `text`.
    QString update(const QString& text);
    // A new recording: nothing cut.
    void reset() { offset_ = 0; }
    qsizetype offset() const { return offset_; }

    const QFont& font() const { return font_; }
    int width() const { return width_; }

    // The text prepared for layout: line breaks as Unicode line separators
    // (the same length, so offsets stay valid).
    static QString forLayout(const QString& text);

private:
    QFont font_;
    int width_;
    qsizetype offset_ = 0;
};
