#pragma once

#include <QList>
#include <QString>

// One thing the desktop must give Sayri (hearing the trigger key, sending the
// paste, showing the bar), as the setup window shows it.
struct SetupRow {
    enum class State { ready, action, unavailable };
    QString title;    // e.g. "録音キー（Alt×2）"
    State state = State::ready;
    QString text;     // what is used; what the user does; or why it cannot be had
    QString command;  // for an action: the one command the user runs in a terminal, if any

    bool operator==(const SetupRow&) const = default;
};

// Whether the global key source can be opened: the "accessibility trusted"
// notion of this platform.
class KeyboardAccess {
public:
    virtual ~KeyboardAccess() = default;
    virtual bool trusted() = 0;
    // Where the desktop's session decides what works, the rows the setup
    // window shows instead of its own texts; none where it keeps them.
    virtual QList<SetupRow> rows() { return {}; }
};
