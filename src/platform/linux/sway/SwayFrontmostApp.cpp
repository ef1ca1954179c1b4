#include "platform/linux/sway/SwayFrontmostApp.h"

#include "platform/linux/sway/SwayIpc.h"

#include <QJsonArray>

SwayFrontmostApp::SwayFrontmostApp(QString socketPath, QStringList applicationFolders)
    : path_(std::move(socketPath)), names_(std::move(applicationFolders))
{
}

std::optional<QJsonObject> SwayFrontmostApp::focusedWindow(const QJsonObject& node)
{
    if (node[QStringLiteral("focused")].toBool())
        return node.contains(QStringLiteral("pid")) ? std::optional(node) : std::nullopt;
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node[QLatin1String(children)].toArray()) {
            if (auto found = focusedWindow(child.toObject()))
                return found;
        }
    }
    return std::nullopt;
}

std::optional<FrontmostAppInfo> SwayFrontmostApp::current()
{
    const auto tree = SwayIpc::ask(path_, SwayIpc::getTree, {});
    if (!tree)
        return std::nullopt;
    const auto window = focusedWindow(tree->object());
    if (!window)
        return std::nullopt;
    FrontmostAppInfo info;
    info.pid = (*window)[QStringLiteral("pid")].toInteger();
    const QString appId = (*window)[QStringLiteral("app_id")].toString();
    const QJsonObject x11 = (*window)[QStringLiteral("window_properties")].toObject();
    info.windowClass = appId.isEmpty() ? x11[QStringLiteral("class")].toString() : appId;
    info.windowInstance = appId.isEmpty() ? x11[QStringLiteral("instance")].toString() : appId;
    if (const auto entry = names_.entryFor(info.windowClass, info.windowInstance)) {
        info.name = entry->name;
        info.categories = entry->categories;
    }
    if (info.name.isEmpty())
        info.name = info.windowClass;
    return info;
}
