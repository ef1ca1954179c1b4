#pragma once

#include "platform/LoginItem.h"

#include <QStringList>

// Start at login through an XDG autostart entry, "autostart/sayri.desktop" in
// the user's configuration folder (~/.config). The entry starts `program`
// with "--login-item". A system-wide entry of the same name (XDG_CONFIG_DIRS)
// counts too: turning it off then writes a user entry that hides it.
class XdgAutostartLoginItem : public LoginItem {
public:
    // `program` empty: this executable (or the AppImage it runs from).
    explicit XdgAutostartLoginItem(QString program = {});

    bool isEnabled() override;
    bool setEnabled(bool enabled, QString& error) override;

    QString userEntryPath() const;
    // The Exec= value for a program path, quoted and escaped as desktop
    // entries require.
    static QString execLine(const QString& program);

private:
    QString entryText(bool hidden) const;
    QString effectiveEntryPath() const;

    QString program_;
};
