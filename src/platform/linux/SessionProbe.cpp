#include "platform/linux/SessionProbe.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

void addGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t)
{
    static_cast<QSet<QString>*>(data)->insert(QString::fromLatin1(interface));
}
void removeGlobal(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {addGlobal, removeGlobal};

QSet<QString> waylandGlobals()
{
    QSet<QString> globals;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return globals;
}

bool anyInputReadable()
{
    const QStringList events = QDir(QStringLiteral("/dev/input")).entryList({QStringLiteral("event*")}, QDir::System);
    for (const QString& name : events) {
        if (::access(QFile::encodeName(QStringLiteral("/dev/input/") + name).constData(), R_OK) == 0)
            return true;
    }
    return false;
}

// Listed in /etc/group's "input" but not among this process's groups: the
// user was added and has not logged in again since.
bool inputGroupPending()
{
    const group* input = ::getgrnam("input");
    const passwd* user = ::getpwuid(::getuid());
    if (!input || !user)
        return false;
    bool listed = input->gr_gid == user->pw_gid;
    for (char** member = input->gr_mem; member && *member && !listed; ++member)
        listed = std::strcmp(*member, user->pw_name) == 0;
    if (!listed)
        return false;
    gid_t groups[256];
    const int count = ::getgroups(256, groups);
    for (int i = 0; i < count; ++i) {
        if (groups[i] == input->gr_gid)
            return false;
    }
    return ::getgid() != input->gr_gid;
}

QString kwinEavesdrop()
{
    const QString kwinrc = QStandardPaths::locate(QStandardPaths::GenericConfigLocation, QStringLiteral("kwinrc"));
    if (kwinrc.isEmpty())
        return {};
    QSettings settings(kwinrc, QSettings::IniFormat);
    return settings.value(QStringLiteral("Xwayland/XwaylandEavesdrops")).toString();
}

}  // namespace

namespace SessionProbe {

SessionCapabilities probe()
{
    SessionCapabilities caps;
    const QString type = qEnvironmentVariable("XDG_SESSION_TYPE").trimmed().toLower();
    const bool waylandDisplay = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    caps.wayland = type == QStringLiteral("wayland") || (type != QStringLiteral("x11") && waylandDisplay);
    caps.desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(u':', Qt::SkipEmptyParts);
    caps.xDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    const QString sway = qEnvironmentVariable("SWAYSOCK");
    caps.swaySocket = !sway.isEmpty() && QFileInfo(sway).exists();
    if (caps.wayland && waylandDisplay)
        caps.globals = waylandGlobals();
    caps.inputReadable = anyInputReadable();
    caps.inputGroupPending = !caps.inputReadable && inputGroupPending();
    caps.uinputPresent = QFile::exists(QStringLiteral("/dev/uinput"));
    caps.uinputWritable = ::access("/dev/uinput", W_OK) == 0;
    if (caps.desktops.contains(QStringLiteral("kde")))
        caps.kwinEavesdrop = kwinEavesdrop();
    return caps;
}

}  // namespace SessionProbe
