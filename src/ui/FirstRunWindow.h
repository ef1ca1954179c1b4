#pragma once

#include "platform/KeyboardAccess.h"
#include "ui/FirstRun.h"

#include <QObject>
#include <QPointer>

#include <QWidget>

// The first-run setup. For now one window that says what is missing and
// finishes with one button.
class FirstRunWindow : public QObject, public FirstRun {
    Q_OBJECT
public:
    bool 必要() override;
    void begin(std::function<void()> onFinished) override;
    QWidget* window() const { return window_; }

    // What keeps Sayri from working, one Japanese line each; empty when ready.
    static QStringList missingPieces();

private:
    void finish();
    QPointer<QWidget> window_;
    std::function<void()> onFinished_;
};
