#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The window a dictation is pasted into, for tests inside scripts/desktop-session:
// runs sayri-paste-target (tests/support/paste-target), a focused text field
// that records the text it holds and the key presses it sees.
//
//   PasteTarget target;                       // or PasteTarget({.windowClass = "XTerm", ...})
//   QVERIFY(target.start());                  // waits until its window has the focus
//   ... paste ...
//   QTRY_COMPARE(target.text(), expected);    // spins the event loop meanwhile
//   QCOMPARE(target.keys(), QStringList{"Ctrl+V"});
//
// The process is ended by its own PID when the object goes.
class PasteTarget {
public:
    struct Options {
        QString windowClass;   // class part of WM_CLASS (default "Sayri-paste-target")
        QString instance;      // instance part of WM_CLASS
        bool terminal = false; // pastes on Ctrl+Shift+V only, as a terminal emulator does
        bool lineEdit = false; // QLineEdit instead of QPlainTextEdit
    };

    PasteTarget();
    explicit PasteTarget(Options options);
    ~PasteTarget();

    // Launches the program and waits (up to `timeoutMs`) until its window has the
    // focus and the window manager names it the active window.
    bool start(int timeoutMs = 10000);
    // Ends the program (the window closes, its clipboard requests stop).
    void close();
    // Gives the focus back to the window (xdotool windowactivate).
    bool activate();

    QString text() const;      // what the field holds now
    QStringList keys() const;  // key presses seen so far, e.g. "Ctrl+V", "Esc"
    qint64 pid() const;
    QString windowId() const { return windowId_; }  // "0x..." as X sees it

    static QString program();

private:
    Options options_;
    QTemporaryDir dir_;
    QProcess process_;
    QString windowId_;
};
