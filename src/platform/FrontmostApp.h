#pragma once

#include <QString>

#include <optional>

struct FrontmostAppInfo {
    qint64 pid = 0;
    QString name;  // readable name; may be empty
};

// The application whose window has the focus, as the window manager sees it.
class FrontmostApp {
public:
    virtual ~FrontmostApp() = default;
    virtual std::optional<FrontmostAppInfo> current() = 0;
};
