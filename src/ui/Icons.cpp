#include "ui/Icons.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace Icons {

namespace {

struct Entry {
    Name name;
    const char* raw;
    const char* fallback;
};

// The artwork names and the freedesktop names standing in for them.
constexpr Entry entries[] = {
    {Name::logo_mark, "logo_mark", "audio-input-microphone"},
    {Name::menubar_idle, "menubar_idle", "audio-input-microphone"},
    {Name::menubar_recording, "menubar_recording", "media-record"},
    {Name::menubar_working, "menubar_working", "content-loading"},
    {Name::badge_local, "badge_local", "changes-prevent"},
    {Name::nav_settings, "nav_settings", "preferences-system"},
    {Name::nav_dictionary, "nav_dictionary", "accessories-dictionary"},
    {Name::nav_history, "nav_history", "document-open-recent"},
    {Name::nav_help, "nav_help", "help-browser"},
    {Name::nav_feedback, "nav_feedback", "mail-send"},
    {Name::nav_update, "nav_update", "system-software-update"},
    {Name::check_done, "check_done", "object-select"},
    // The first-run pictures fall back to their emoji, not to a theme icon.
    {Name::setup_welcome, "setup_welcome", ""},
    {Name::setup_mic, "setup_mic", ""},
    {Name::setup_preview, "setup_preview", ""},
    {Name::setup_paste, "setup_paste", ""},
    {Name::setup_data, "setup_data", ""},
    {Name::setup_done, "setup_done", ""},
};

const Entry& entry(Name name)
{
    for (const auto& e : entries)
        if (e.name == name)
            return e;
    return entries[0];
}

qreal pixelRatio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

QImage blank(int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage shape(QImage image)
{
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), Qt::black);
    return image;
}

// The artwork file for `raw`: SVG drawn at any size, or a PNG scaled to it.
std::optional<QImage> renderArtwork(const QString& folder, const QString& raw, int side)
{
    const QString svg = folder + u'/' + raw + QStringLiteral(".svg");
    if (QFile::exists(svg)) {
        QSvgRenderer renderer(svg);
        if (renderer.isValid()) {
            QImage image = blank(side);
            QPainter painter(&image);
            renderer.render(&painter, QRectF(0, 0, side, side));
            return image;
        }
    }
    const QString png = folder + u'/' + raw + QStringLiteral(".png");
    QImage loaded;
    if (QFile::exists(png) && loaded.load(png)) {
        QImage image = blank(side);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, side, side), loaded);
        return image;
    }
    return std::nullopt;
}

// The theme icon drawn at 82 % of the side, centred.
std::optional<QImage> renderFallback(const QString& themeName, int side, qreal ratio)
{
    if (themeName.isEmpty())
        return std::nullopt;
    const QIcon icon = QIcon::fromTheme(themeName);
    if (icon.isNull())
        return std::nullopt;
    const int inner = qMax(1, int(std::lround(side * 0.82)));
    const QPixmap drawn = icon.pixmap(QSize(inner, inner) / ratio, ratio);
    if (drawn.isNull())
        return std::nullopt;
    QImage image = blank(side);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal offset = (side - inner) / 2.0;
    painter.drawPixmap(QRectF(offset, offset, inner, inner), drawn, QRectF(drawn.rect()));
    return image;
}

}  // namespace

const QList<Name>& all()
{
    static const QList<Name> names = [] {
        QList<Name> list;
        for (const auto& e : entries)
            list << e.name;
        return list;
    }();
    return names;
}

QString rawValue(Name name)
{
    return QString::fromLatin1(entry(name).raw);
}

QString fallbackSymbol(Name name)
{
    return QString::fromLatin1(entry(name).fallback);
}

QString cacheKey(Name name, qreal size, bool isShape)
{
    return QStringLiteral("%1-%2-%3")
        .arg(rawValue(name))
        .arg(qint64(std::trunc(size)))
        .arg(isShape ? QStringLiteral("t") : QStringLiteral("c"));
}

IconSet::IconSet(QString folder) : folder_(std::move(folder)) {}

std::optional<Image> IconSet::image(Name name, qreal size, bool isShape)
{
    const QString key = cacheKey(name, size, isShape);
    if (auto it = cache_.constFind(key); it != cache_.constEnd())
        return *it;
    auto loaded = load(name, size, isShape);
    if (loaded)
        cache_.insert(key, *loaded);
    return loaded;
}

std::optional<Image> IconSet::load(Name name, qreal size, bool isShape) const
{
    if (size <= 0)
        return std::nullopt;
    const qreal ratio = pixelRatio();
    const int side = qMax(1, int(std::ceil(size * ratio)));

    Image result;
    if (auto art = renderArtwork(folder_, rawValue(name), side)) {
        result.isShape = isShape;
        result.pixmap = QPixmap::fromImage(isShape ? shape(*art) : *art);
    } else if (auto theme = renderFallback(fallbackSymbol(name), side, ratio)) {
        result.isShape = true;
        result.pixmap = QPixmap::fromImage(shape(*theme));
    } else {
        return std::nullopt;
    }
    result.pixmap.setDevicePixelRatio(side / size);
    return result;
}

std::optional<Image> image(Name name, qreal size, bool isShape)
{
    static IconSet shared(QStringLiteral(":/icons"));
    return shared.image(name, size, isShape);
}

QPixmap tinted(const QPixmap& pixmap, const QColor& colour)
{
    QPixmap out = pixmap;
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRect(QPoint(0, 0), out.size()), colour);
    return out;
}

QPixmap shown(const Image& image, const QColor& tint)
{
    return image.isShape ? tinted(image.pixmap, tint) : image.pixmap;
}

QIcon menuBar(const QString& name)
{
    const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
    if (!QFile::exists(path))
        return {};
    return QIcon(path);
}

QIcon tray(const QString& name)
{
    static const QHash<QString, QStringList> themeNames{
        {QStringLiteral("menubar_idle"), {QStringLiteral("audio-input-microphone-symbolic")}},
        {QStringLiteral("menubar_recording"), {QStringLiteral("media-record-symbolic")}},
        {QStringLiteral("menubar_working"),
         {QStringLiteral("content-loading-symbolic"), QStringLiteral("process-working-symbolic")}},
    };
    for (const QString& themeName : themeNames.value(name)) {
        if (QIcon::hasThemeIcon(themeName))
            return QIcon::fromTheme(themeName);
    }
    return menuBar(name);
}

QIcon fromSymbol(const QString& symbol)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font;
    font.setPixelSize(48);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, symbol);
    return QIcon(pixmap);
}

}  // namespace Icons
