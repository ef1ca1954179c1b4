#pragma once

#include "store/Config.h"

#include <QString>
#include <QTemporaryDir>

#include <sys/resource.h>

// A file's bytes (empty when it cannot be read); writing creates its folder.
QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);
// Sets an environment variable back to `value`, unsetting it when null.
void restoreVariable(const char* name, const QByteArray& value);

// Points the data folder (and HOME) at a fresh temporary folder for one test,
// and restores the environment afterwards.
class TestDataFolder {
public:
    TestDataFolder();
    ~TestDataFolder();
    QString path() const { return Config::dataFolder(); }  // ".../share/Sayri"
    QString file(const QString& name) const { return Config::file(name); }
    QString readText(const QString& name) const { return QString::fromUtf8(readFile(file(name))); }
    void writeText(const QString& name, const QString& text) const { writeFile(file(name), text.toUtf8()); }
    QString root() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray oldHome_;
    QByteArray oldData_;
};

// A full disk, played by a file-size limit on this process: until destroyed,
// writing more than `bytes` into any file fails (also as root).
class FullDisk {
public:
    explicit FullDisk(rlim_t bytes = 64);
    ~FullDisk();

private:
    rlimit old_{};
};
