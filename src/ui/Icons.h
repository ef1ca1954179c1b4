#pragma once

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

#include <optional>

// Sayri's own artwork (SVG in resources/icons, drawn in the brand colours),
// with the desktop's icon theme as a fallback and a cache for the whole run.
// Main thread only.
namespace Icons {

enum class Name {
    logo_mark,
    menubar_idle,
    menubar_recording,
    menubar_working,
    badge_local,
    nav_settings,
    nav_dictionary,
    nav_history,
    nav_help,
    nav_feedback,
    nav_update,
    check_done,
    setup_welcome,
    setup_mic,
    setup_preview,
    setup_paste,
    setup_data,
    setup_done,
};

const QList<Name>& all();
// The artwork's file name without extension, e.g. "logo_mark".
QString rawValue(Name name);
// The freedesktop icon-theme name used when the artwork is missing.
QString fallbackSymbol(Name name);

// A rendered icon. A shape image is the artwork's outline only (black with alpha):
// the place that shows it tints it (see `tinted`).
struct Image {
    QPixmap pixmap;  // size × size logical pixels, at the screen's pixel ratio
    bool isShape = false;
};

// "logo_mark-56-c": name, size truncated to a whole number, "t" for a
// shape image or "c" for colour.
QString cacheKey(Name name, qreal size, bool isShape);

// A set of icons read from one folder, with its own cache.
class IconSet {
public:
    explicit IconSet(QString folder);
    // The artwork rendered at size × size (as a shape when asked);
    // without artwork the theme icon at 82 % of the size, always a
    // shape; without either, nothing. The same request returns the same
    // cached pixmap.
    std::optional<Image> image(Name name, qreal size, bool isShape);

private:
    std::optional<Image> load(Name name, qreal size, bool isShape) const;
    QString folder_;
    QHash<QString, Image> cache_;
};

// From the application's own artwork (":/icons").
std::optional<Image> image(Name name, qreal size, bool isShape = false);

// `pixmap` with every visible pixel painted `colour` (alpha kept).
QPixmap tinted(const QPixmap& pixmap, const QColor& colour);
// A shape image tinted `colour`, a colour image as it is.
QPixmap shown(const Image& image, const QColor& tint);

// The tray image of that name ("menubar_idle", "menubar_recording",
// "menubar_working"), scalable to any panel size, or a null icon when there
// is none. The artwork carries its own contrast (a dark rim for light panels
// and a white glyph for dark ones), so it is never tinted.
QIcon menuBar(const QString& name);
// The tray image of that name as the desktop draws its neighbours: the icon
// theme's symbolic icon where the theme has one (a tray host that loads icons
// by name recolours it for its panel), otherwise `menuBar(name)`.
QIcon tray(const QString& name);
// An icon drawn from a symbol (emoji) when no image exists.
QIcon fromSymbol(const QString& symbol);

}  // namespace Icons
