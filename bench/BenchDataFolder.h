#pragma once

#include "store/Config.h"

#include <QDir>
#include <QTemporaryDir>

// A data folder of the benchmark's own: XDG_DATA_HOME in a temporary folder,
// removed at the end, with Sayri's folder made in it.
class BenchDataFolder {
public:
    BenchDataFolder()
    {
        qputenv("XDG_DATA_HOME", dir_.path().toUtf8());
        QDir().mkpath(Config::dataFolder());
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};
