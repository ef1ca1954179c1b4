#pragma once

#include <QObject>

class QWidget;

// The application menu's commands as keyboard shortcuts of Sayri's windows
// (Ctrl stands for Command). Text editing keys are the widgets' own. The
// commands that belong to the application are the shared instance's signals.
class MainMenu : public QObject {
    Q_OBJECT
public:
    static MainMenu& shared();
    // Adds the shortcuts to a window (once per window).
    static void attachTo(QWidget* window);

Q_SIGNALS:
    void aboutRequested();
    void updateCheckRequested();
    void settingsRequested();
    void quitRequested();

private:
    MainMenu() = default;
};
