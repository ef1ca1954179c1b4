#include "DesktopProbe.h"

#include <QProcess>
#include <QRegularExpression>

namespace DesktopProbe {

namespace {

// A window of the tree: its title, class, size and absolute position, e.g.
//   0x600018 "サイリ": ("sayri" "Sayri")  720x480+1+20  +559+315
//   0x400007 (has no name): ()  24x24+0+0  +1200+4
const QRegularExpression
    treeLine(QStringLiteral("^\\s*0x[0-9a-f]+ (?:\"(.*)\"|\\(has no name\\)): "
                            "\\((?:\"[^\"]*\" \"([^\"]*)\")?\\)\\s+(\\d+)x(\\d+)\\S*\\s+\\+(-?\\d+)\\+(-?\\d+)"));

QList<QRegularExpressionMatch> tree()
{
    QList<QRegularExpressionMatch> windows;
    for (const QString& line : run(QStringLiteral("xwininfo -root -tree")).value_or(QString()).split(u'\n'))
        if (const auto m = treeLine.match(line); m.hasMatch())
            windows << m;
    return windows;
}

QRect rectOf(const QRegularExpressionMatch& m)
{
    return {m.captured(5).toInt(), m.captured(6).toInt(), m.captured(3).toInt(), m.captured(4).toInt()};
}

}  // namespace

std::optional<QString> run(const QString& command)
{
    QStringList args = command.split(u' ');
    QProcess p;
    p.start(args.takeFirst(), args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QStringList windowTitles(const QString& wmClass)
{
    QStringList titles;
    for (const auto& m : tree())
        if (m.captured(2) == wmClass && rectOf(m).width() > 1 && rectOf(m).height() > 1)
            titles << m.captured(1);
    return titles;
}

std::optional<QRect> windowOfSize(const QString& wmClass, QSize size)
{
    for (const auto& m : tree())
        if (m.captured(2) == wmClass && rectOf(m).size() == size)
            return rectOf(m);
    return std::nullopt;
}

std::optional<QPoint> trayIconCentre(const QString& wmClass)
{
    // That class's window within the tray host's panel.
    const QList<QRegularExpressionMatch> windows = tree();
    for (const auto& panel : windows)
        for (const auto& m : windows)
            if (panel.captured(2) == QLatin1String("trayer") && m.captured(2) == wmClass
                && rectOf(panel).contains(rectOf(m)))
                return rectOf(m).center();
    return std::nullopt;
}

bool accessibilityEnabled(std::optional<bool> on)
{
    const QString call = QStringLiteral("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                                        "org.freedesktop.DBus.Properties.%1 string:org.a11y.Status string:IsEnabled");
    if (on)
        run(call.arg(QStringLiteral("Set")) + QStringLiteral(" variant:boolean:") + QLatin1String(*on ? "true" : "false"));
    return run(call.arg(QStringLiteral("Get"))).value_or(QString()).contains(QStringLiteral("boolean true"));
}

}  // namespace DesktopProbe
