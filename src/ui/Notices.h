#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class OverlayView;
class QTimer;

// The messages of everything but the dictation itself (dictionary actions,
// the tray menu, settings): they go to the recording bar's message face,
// but never while a dictation runs, so the bar stays in place. A message that
// comes meanwhile waits until the dictation's own last message has had its
// time; of several that waited, the latest is shown. Main thread only.
class Notices : public QObject {
    Q_OBJECT
public:
    Notices(OverlayView& overlay, std::function<bool()> dictating);

    void show(const QString& text);                   // stays until the next message
    void flash(const QString& text, double seconds);  // hides after `seconds`
    // The dictation ended with a message shown for `seconds`.
    void dictationEnded(double seconds);

private:
    struct Message {
        QString text;
        std::optional<double> seconds;  // none: stays
    };
    void put(const Message& message);
    void send(const Message& message);
    void sendWaiting();

    OverlayView& overlay_;
    std::function<bool()> dictating_;
    std::optional<Message> waiting_;
    QTimer* dictationMessage_;  // runs while the dictation's last message is shown
};
