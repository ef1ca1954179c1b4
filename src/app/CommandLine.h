#pragma once

#include <QString>
#include <QStringList>

// What `sayri` was asked to do on its command line, decided before anything
// starts: printing the version or the help starts no window, no session probe
// and no server. Qt's own options (-platform, -display, -style, …) are left
// for QApplication; any other option is a mistake, answered with the help on
// stderr and exit status 2.
namespace CommandLine {

enum class Action { Run, PrintVersion, PrintHelp, ListGpuDevices, Mistake };

struct Request {
    Action action = Action::Run;
    // The option that could not be understood (Action::Mistake).
    QString mistake;
};

// args: the whole command line, program name first.
Request parse(const QStringList& args);

// "サイリ 0.1.0（ビルド 1）", one line.
QString versionText();
// The usage, in Japanese; ends with a line break.
QString helpText();
// What a wrong command line prints before the help.
QString mistakeText(const QString& option);

}  // namespace CommandLine
