#pragma once

#include <QByteArray>
#include <QProcessEnvironment>

// The environment the session gave Sayri, for the programs Sayri opens.
// Sayri sets a few variables for its own windows (the Qt platform they run
// on, how the bar's window is made); a browser opened for a link, or any
// other program, gets the session's values instead. Main thread only.
namespace SessionEnvironment {

// Sets `name` for Sayri's own process, after noting the session's value.
// Before the application object exists.
void setForSayri(const char* name, const QByteArray& value);

// This process's environment with the session's values put back.
QProcessEnvironment forPrograms();

// Once the application object exists: where a variable was set, links
// (http, https) open through xdg-open with forPrograms(), not through Qt's
// default, which would pass Sayri's own values on. Nothing otherwise.
void openLinksWithIt();

}  // namespace SessionEnvironment
