#pragma once

#include "provision/ModelSetup.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QLabel;
class QProgressBar;
class QPushButton;

// The model download engine of the first-run window: fetches the model from
// one of its locations, resumes an interrupted transfer from the bytes already
// on disk, verifies size and fingerprint, and only then puts the file in place.
// Progress and outcome are shown on the bar, status text and button it is
// given. Lives on the main thread; receiving, writing and hashing happen on
// a worker thread. When Sayri quits, a running attempt ends and its partial
// file goes: nothing is resumed at a later start.
class ModelDownload : public QObject {
    Q_OBJECT
public:
    // What to fetch and where to put it. Sayri itself always uses
    // releaseModel(), whose size and fingerprint are fixed at build time;
    // tests give a small file of their own. The release locations can be
    // pointed elsewhere with the environment variable SAYRI_MODEL_URLS
    // (addresses separated by spaces, see ModelSetup::modelURLs); what is
    // received must still match the fingerprint.
    struct Target {
        QString folder;    // where the partial and the final file go
        QString fileName;  // the final file's name; the partial one adds ".part"
        ModelSetup::Fingerprint genuine;
        QStringList urls;  // tried in turn, the next one after wrong data or a fresh failure
    };
    // The release model: ModelSetup's constants, modelURLs(), modelsDir().
    static Target releaseModel();

    explicit ModelDownload(Target target = releaseModel(), QObject* parent = nullptr);
    ~ModelDownload() override;

    // Starts an attempt and returns at once; does nothing while one runs.
    // `button` may be null.
    void start(QProgressBar* bar, QLabel* status, QPushButton* button);
    // Shows the progress of the attempt that runs, or the outcome of the one
    // that failed, on these views (a page built again meanwhile; the button
    // disabled while it runs), and keeps them up to date from now on. Views of
    // a download never begun keep their own texts.
    void show(QProgressBar* bar, QLabel* status, QPushButton* button);
    bool running() const;
    // Which location comes next (modulo the number of locations); only grows.
    int urlIndex() const;
    // Whether the next attempt continues from the bytes already received.
    bool hasResumeData() const;

Q_SIGNALS:
    // The verified file is in place, the settings record it, the log says so.
    void installed(const QString& path);
    // An attempt ended without installing; status and button already say so.
    void failed();

private:
    // Ends the attempt that runs and the worker thread; the partial file goes.
    void endThread();

    struct Impl;
    Impl* d;
};
