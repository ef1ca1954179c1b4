#pragma once

#include "ui/OverlayView.h"

#include <QObject>
#include <QPointer>

class QLabel;
class QTimer;

// The floating bar: a frameless always-on-top label window that never takes
// the keyboard focus. Every operation may be called from any thread.
class Overlay : public QObject, public OverlayView {
    Q_OBJECT
public:
    Overlay();
    ~Overlay() override;

    void show(const QString& text) override;
    void flash(const QString& text, double seconds) override;
    void hide() override;
    void showRecordingBar(const QString& target, const QString& mic) override;
    void updateLevel(float level) override;
    void updateLiveText(const QString& text) override;

    // The text on screen, or empty while hidden (for tests and diagnostics).
    QString visibleText() const;

private:
    void onMain(std::function<void()> work);
    void buildIfNeeded();
    void present(const QString& text);

    QLabel* panel_ = nullptr;
    QTimer* hideTimer_ = nullptr;
    QString recordingText_;
};
