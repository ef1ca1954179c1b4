#pragma once

#include <QString>

// Whether Sayri starts by itself when the user logs in. A start made this way
// passes "--login-item" on the command line.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual bool isEnabled() = 0;
    // Registers (true) or unregisters (false). On failure returns false and
    // puts a readable Japanese description into `error`.
    virtual bool setEnabled(bool enabled, QString& error) = 0;
};
