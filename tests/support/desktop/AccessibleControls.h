#pragma once

#include "platform/AccessibleTree.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTest>

#include <optional>

#include <utility>

// What a screen reader meets in an application's window, over the desktop's
// accessibility bus.
namespace AccessibleControls {

// The controls shown in the focused window of process `pid` that take the
// focus, with their names, in the tree's order.
inline QList<std::pair<AccessibleElement, QString>> focusable(AccessibleTree& tree, qint64 pid)
{
    QList<std::pair<AccessibleElement, QString>> controls;
    QList<AccessibleTree::Ask> asks;
    if (const auto window = tree.activeWindow(pid).element)
        asks.append({*window, 1000});
    while (!asks.isEmpty()) {
        const QList<AccessibleTree::Ask> asked = std::exchange(asks, {});
        const QList<AccessibleFacts> facts = tree.read(asked, 100).value_or(QList<AccessibleFacts>());
        for (qsizetype i = 0; i < facts.size(); ++i) {
            if (facts[i].focusable && facts[i].shown)
                controls.append({asked[i].element, facts[i].title});
            for (const AccessibleElement& child : facts[i].children)
                asks.append({child, 1000});
        }
    }
    return controls;
}

// The shown control of that name in the focused window of process `pid`,
// once there (within 20 seconds).
inline std::optional<AccessibleElement> named(AccessibleTree& tree, qint64 pid, const QString& name)
{
    std::optional<AccessibleElement> found;
    (void)QTest::qWaitFor(
        [&] {
            for (const auto& [control, title] : focusable(tree, pid))
                if (title == name)
                    found = control;
            return found.has_value();
        },
        20000);
    return found;
}

// Says on the session bus that a screen reader runs, as Orca does. Outside
// X11, Qt publishes its windows only for a screen reader running when the
// application starts.
inline bool announceScreenReader()
{
    QProcess set;
    set.start(QStringLiteral("dbus-send"),
              {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.a11y.Bus"),
               QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties.Set"),
               QStringLiteral("string:org.a11y.Status"), QStringLiteral("string:ScreenReaderEnabled"),
               QStringLiteral("variant:boolean:true")});
    return set.waitForFinished(5000) && set.exitStatus() == QProcess::NormalExit && set.exitCode() == 0;
}

// Presses `control` as a screen reader does: its first action.
inline bool press(const AccessibleElement& control)
{
    QProcess address;
    address.start(QStringLiteral("dbus-send"), {QStringLiteral("--session"), QStringLiteral("--print-reply=literal"),
                                                QStringLiteral("--dest=org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                QStringLiteral("org.a11y.Bus.GetAddress")});
    if (!address.waitForFinished(5000) || address.exitCode() != 0)
        return false;
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(address.readAllStandardOutput().trimmed()),
                                                        QStringLiteral("press"));
    QDBusMessage call = QDBusMessage::createMethodCall(
        control.owner, control.path, QStringLiteral("org.a11y.atspi.Action"), QStringLiteral("DoAction"));
    call << 0;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

}  // namespace AccessibleControls
