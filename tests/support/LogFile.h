#pragma once

#include <QString>
#include <QStringList>

// The messages of "sayri.log" in the test's data folder, time stamps removed.
QStringList logMessages();
bool logContains(const QString& message);
