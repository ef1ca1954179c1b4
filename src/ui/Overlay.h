#pragma once

#include "ui/OverlayLiveText.h"
#include "ui/OverlayView.h"

#include <QObject>
#include <QPointer>
#include <QRect>

#include <atomic>

#include <functional>
#include <memory>
#include <optional>

#include "platform/BarSurface.h"
class QTimer;
class QWidget;

namespace OverlayWidgets {
class Panel;
class TextLine;
class LiveText;
class LevelDot;
class BarButton;
}  // namespace OverlayWidgets

// The floating recording bar and message panel. One window with two faces:
// the recording bar (level dot, "→ target", microphone, live text, cancel and
// stop buttons, the update notice) and a message line. It floats above
// ordinary windows on every desktop, never takes the keyboard focus, can be
// dragged anywhere, and remembers where it was left in `overlayAnchor`.
//
// Every public operation may be called from any thread: off the main thread
// the work is queued to it.
class Overlay : public OverlayView {
    Q_OBJECT
public:
    // Without `surface`, the window floats by its own flags (an X11 window
    // the window manager leaves alone).
    explicit Overlay(std::unique_ptr<BarSurface> surface = {});
    ~Overlay() override;

    void show(const QString& text) override;
    void flash(const QString& text, double seconds) override;
    void hide() override;
    void showRecordingBar(const QString& target, const QString& mic) override;
    void updateLevel(float level) override;
    void updateLiveText(const QString& text) override;

    // The newer version the bar announces, if any (the update check's
    // finding; replaceable for tests).
    std::function<std::optional<QString>()> newerVersion;

    // For tests and diagnostics: the window (null until first used), whether
    // it is on screen, and the face and texts it shows.
    QWidget* panel() const;
    bool isShown() const;
    bool isRecordingFace() const;
    QString messageText() const;
    QString liveText() const;
    qsizetype liveOffset() const { return live_.offset(); }
    qreal dotTargetScale() const;

    static constexpr double saveDelaySeconds = 0.6;
    // The level dot is redrawn at most this often; levels arriving faster
    // are folded into the latest one.
    static constexpr int levelFrameMs = 40;

private:
    void onMain(std::function<void()> work);
    void buildIfNeeded();
    void showNow(const QString& text);
    // Names the panel after `state` and tells a screen reader, without taking the focus.
    void announce(const QString& state);
    void placePanel(int width, int height);
    void panelMoved();
    void doubleClicked(QPoint position);
    void showOnTop();
    void layoutBarLabels();
    void startLevelFrames();
    void levelFrame();

    std::unique_ptr<BarSurface> surface_;
    OverlayWidgets::Panel* panel_ = nullptr;
    OverlayWidgets::TextLine* label_ = nullptr;
    QWidget* barView_ = nullptr;
    OverlayWidgets::LevelDot* dot_ = nullptr;
    OverlayWidgets::TextLine* targetLabel_ = nullptr;
    OverlayWidgets::TextLine* micLabel_ = nullptr;
    OverlayWidgets::BarButton* cancelButton_ = nullptr;
    OverlayWidgets::BarButton* stopButton_ = nullptr;
    OverlayWidgets::TextLine* updateLabel_ = nullptr;
    OverlayWidgets::LiveText* liveLabel_ = nullptr;
    QTimer* hideTimer_ = nullptr;
    QTimer* saveTimer_ = nullptr;
    QTimer* levelTimer_ = nullptr;
    // The latest level from any thread, taken by the next frame.
    std::atomic<float> pendingLevel_{0};
    std::atomic<bool> levelPending_{false};
    std::atomic<bool> levelFramesRunning_{false};
    LiveTextTrimmer live_;
};
