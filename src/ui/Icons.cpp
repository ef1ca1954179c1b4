#include "ui/Icons.h"

#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace Icons {

QIcon menuBar(const QString& name)
{
    const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
    if (!QFile::exists(path))
        return {};
    return QIcon(path);
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
