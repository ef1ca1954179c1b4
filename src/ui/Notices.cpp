#include "ui/Notices.h"

#include "ui/OverlayView.h"

#include <QTimer>

Notices::Notices(OverlayView& overlay, std::function<bool()> dictating)
    : overlay_(overlay), dictating_(std::move(dictating)), dictationMessage_(new QTimer(this))
{
    dictationMessage_->setSingleShot(true);
    connect(dictationMessage_, &QTimer::timeout, this, &Notices::sendWaiting);
}

void Notices::show(const QString& text)
{
    put({text, std::nullopt});
}

void Notices::flash(const QString& text, double seconds)
{
    put({text, seconds});
}

void Notices::put(const Message& message)
{
    if (dictating_() || dictationMessage_->isActive()) {
        waiting_ = message;
        return;
    }
    send(message);
}

void Notices::send(const Message& message)
{
    if (message.seconds)
        overlay_.flash(message.text, *message.seconds);
    else
        overlay_.show(message.text);
}

void Notices::dictationEnded(double seconds)
{
    dictationMessage_->start(int(seconds * 1000));
}

void Notices::sendWaiting()
{
    // A new dictation keeps it waiting for its own end.
    if (!waiting_ || dictating_())
        return;
    send(*std::exchange(waiting_, std::nullopt));
}
