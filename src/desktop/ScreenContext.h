#pragma once

#include "desktop/ScreenTerms.h"
#include "platform/AccessibleTree.h"
#include "platform/FrontmostApp.h"

#include <QString>
#include <QStringList>

#include <memory>

class QObject;

// Hint terms read from the focused window through the accessibility bus.
//
// capture() (main thread) decides at once: with screen hints off, or with no
// frontmost application, Sayri's own window or a window of a program on
// another computer in front, the terms are cleared. Otherwise one background
// job per capture reads the window's text, picks the terms and replaces the
// current ones; until it finishes readers see the previous capture's terms.
// The text read is used only to pick terms; it is never kept or logged.
class ScreenContext : public ScreenTerms {
public:
    // `ownPid` is this program's process id (its windows give no terms).
    ScreenContext(std::shared_ptr<AccessibleTree> tree, std::shared_ptr<FrontmostApp> frontmost, qint64 ownPid);
    ~ScreenContext() override;

    void capture() override;
    QStringList currentTerms() const override;

    // The desktop's accessibility switch, which makes applications publish
    // their trees, is switched on by the first capture that finds it off.
    // prepare() follows the hint setting in the background: hints off puts
    // back the switch Sayri turned on (as do a capture with hints off, quit
    // and the destructor). Call it when the setting changes.
    void prepare() override;
    // At start, once the main event loop turns (the data folder is known): a
    // switch that an earlier Sayri turned on and could not put back (it was
    // killed) is put back, in the background.
    void putBackLeftOverSoon();

    // Captures whose background job has not finished yet.
    int capturesRunning() const;

    // The candidate terms of a text: visible dictionary words that did not fit
    // in the dictionary's prompt budget first, then up to 15 katakana words,
    // kanji compounds and Latin words, the most frequent first.
    static QStringList extractTerms(const QString& text);

    // The text of the focused window of the application with this process id.
    static QString axVisibleText(AccessibleTree& tree, qint64 pid);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<FrontmostApp> frontmost_;
    qint64 ownPid_;
    bool toldRemote_ = false;         // the log said why a remote window gives no hints
    std::unique_ptr<QObject> guard_;  // ends delayed start-up work with this object
};
