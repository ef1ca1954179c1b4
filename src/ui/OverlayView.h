#pragma once

#include <QObject>
#include <QString>

// The floating recording bar and message panel. Every operation may be called
// from any thread; the signals come from the main thread.
class OverlayView : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void show(const QString& text) = 0;                   // stays until the next flash or hide
    virtual void flash(const QString& text, double seconds) = 0;  // shows, then hides after `seconds`
    virtual void hide() = 0;
    virtual void showRecordingBar(const QString& target, const QString& mic) = 0;
    virtual void updateLevel(float level) = 0;
    virtual void updateLiveText(const QString& text) = 0;

Q_SIGNALS:
    void cancelClicked();
    void stopClicked();
    void updateClicked();
};
