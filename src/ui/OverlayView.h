#pragma once

#include <QString>

#include <functional>

// The floating recording bar and message panel. Every operation may be called
// from any thread.
class OverlayView {
public:
    virtual ~OverlayView() = default;
    virtual void show(const QString& text) = 0;                  // stays until the next flash or hide
    virtual void flash(const QString& text, double seconds) = 0;  // shows, then hides after `seconds`
    virtual void hide() = 0;
    virtual void showRecordingBar(const QString& target, const QString& mic) = 0;
    virtual void updateLevel(float level) = 0;
    virtual void updateLiveText(const QString& text) = 0;

    std::function<void()> onCancelClick;
    std::function<void()> onStopClick;
    std::function<void()> onUpdateClick;
};
