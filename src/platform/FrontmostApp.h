#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct FrontmostAppInfo {
    qint64 pid = 0;          // 0 when the window does not say, or is remote
    QString name;            // readable name; may be empty
    QString windowClass;     // class part of the window's class hint, e.g. "XTerm"
    QString windowInstance;  // instance part, e.g. "xterm"
    QStringList categories;  // what its desktop entry says it is, e.g. "TerminalEmulator"; empty without one
    bool remote = false;     // its program runs on another computer (ssh -X)
};

// The application whose window has the focus, as the window manager sees it.
// May be asked from any thread.
class FrontmostApp {
public:
    virtual ~FrontmostApp() = default;
    virtual std::optional<FrontmostAppInfo> current() = 0;
};
