#include "DesktopProbe.h"

#include <QProcess>
#include <QRegularExpression>

namespace DesktopProbe {

namespace {

QStringList treeLines()
{
    QProcess p;
    p.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n');
}

qsizetype indent(const QString& line)
{
    return line.size() - QStringView(line).trimmed().size();
}

}  // namespace

QStringList windowTitles(const QString& wmClass)
{
    // e.g.   0x600018 "サイリ": ("sayri" "Sayri")  720x480+1+20  +559+315
    const QRegularExpression re(QStringLiteral("^\\s*0x[0-9a-f]+ \"(.*)\": \\(\"[^\"]*\" \"%1\"\\)\\s+(\\d+)x(\\d+)")
                                    .arg(QRegularExpression::escape(wmClass)));
    QStringList titles;
    for (const QString& line : treeLines()) {
        const auto m = re.match(line);
        if (m.hasMatch() && m.captured(2).toInt() > 1 && m.captured(3).toInt() > 1)
            titles << m.captured(1);
    }
    return titles;
}

std::optional<QPoint> trayIconCentre(const QString& wmClass)
{
    // The tree line of that class's window inside the tray host:
    // ... 24x24+0+0  +1200+4: size, then the absolute position
    static const QRegularExpression re(QStringLiteral("(\\d+)x(\\d+)[+-]\\d+[+-]\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)"));
    qsizetype panelIndent = -1;
    for (const QString& line : treeLines()) {
        if (panelIndent >= 0 && indent(line) <= panelIndent)
            panelIndent = -1;
        const auto m = re.match(line);
        if (panelIndent >= 0 && line.contains(QStringLiteral("\"%1\")").arg(wmClass)) && m.hasMatch())
            return QPoint(m.captured(3).toInt() + m.captured(1).toInt() / 2,
                          m.captured(4).toInt() + m.captured(2).toInt() / 2);
        if (line.contains(QStringLiteral("(\"panel\" \"trayer\")")))
            panelIndent = indent(line);
    }
    return std::nullopt;
}

}  // namespace DesktopProbe
