#pragma once

#include <QList>
#include <QPointF>
#include <QRect>
#include <QSizeF>
#include <QString>

#include <optional>

// The recording bar's geometry, in Qt's global coordinates (origin at the
// top-left, y growing downwards). The remembered anchor is the bar's
// bottom-centre point.
namespace OverlayGeometry {

inline constexpr int barWidth = 400;
inline constexpr int barHeight = 116;
inline constexpr int barHeightWithNotice = 136;
inline constexpr int maxMessageWidth = 760;
inline constexpr int screenMargin = 8;
inline constexpr int defaultLift = 96;  // bottom edge above the visible area's bottom
inline constexpr int liveWidth = 356;

struct ScreenArea {
    QRect frame;    // the whole screen
    QRect visible;  // without panels and docks
};

// "760,96" → (760, 96). Pieces are split at ",", empty pieces dropped; the
// anchor is valid only when exactly two pieces read as numbers.
std::optional<QPointF> parseAnchor(const std::optional<QString>& anchor);
// The anchor of a panel frame: centre x and bottom edge, each truncated.
QString anchorOf(const QRect& frame);

// Where a panel of `size` goes: bottom-centre at the anchor on the first
// screen containing it (else the main screen), or centred 96 points above
// the bottom of the main screen's visible area; then kept 8 points inside
// the visible area (the right and top edges win when it does not fit).
// Nothing without a main screen.
std::optional<QRect> place(QSize size, const std::optional<QString>& anchor, const QList<ScreenArea>& screens,
                           const std::optional<ScreenArea>& mainScreen);

// Width of the message face for a text measuring `text` (all lines).
int messageWidth(QSizeF text);

// Widths of the target and microphone labels from the widths their texts
// need: the microphone gets up to 170, the target what is left of 244.
struct LabelWidths {
    int target;
    int mic;
};
LabelWidths labelWidths(qreal targetNeeded, qreal micNeeded);

// The level dot's scale: 1 + 2.4 × level, the level taken within 0…0.5.
qreal levelScale(float level);

// Frames of the bar's elements for a bar of height `height` (116, or 136
// with the update notice line at the top).
QRect liveFrame(int height);
QRect dotFrame(int height);
QRect targetFrame(int height, int width);
QRect micFrame(int height, int width);
QRect cancelFrame(int height);
QRect stopFrame(int height);
QRect updateFrame(int height);

}  // namespace OverlayGeometry
