#pragma once

#include <functional>

class QWidget;

// The application menu's commands as keyboard shortcuts of Sayri's windows
// (Ctrl stands for Command). Text editing keys are the widgets' own.
namespace MainMenu {

struct Handlers {
    std::function<void()> openAbout;
    std::function<void()> checkForUpdates;
    std::function<void()> openSettings;
    std::function<void()> quitApp;
};

// Installs the controller's handlers; windows attached before or after use them.
void install(Handlers handlers);
// Adds the shortcuts to a window (once per window).
void attachTo(QWidget* window);

}  // namespace MainMenu
