#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>

#include <functional>

// Many D-Bus calls sent at once, without waiting for each answer, and then
// waited for together. Meant for a worker thread: waiting spins a private
// event loop of the calling thread.
class DBusBatch {
public:
    // Gets the answer: a reply, or an error message (an error from the other
    // side, or a time-out).
    using Handler = std::function<void(const QDBusMessage& answer)>;

    explicit DBusBatch(QDBusConnection connection);

    void add(const QDBusMessage& call, Handler handler);
    qsizetype size() const { return calls_.size(); }

    // Sends every call added and waits until all are answered. False when the
    // other side stopped answering: nothing came for `stallMs`, or not every
    // answer came within `limitMs`, and no other call was answered either. A
    // call that got no answer while others did is left out (its handler does
    // not run). The handlers of the answers that came have run;
    // the calls are gone afterwards either way.
    bool run(int stallMs, int limitMs);

private:
    struct Call {
        QDBusMessage message;
        Handler handler;
    };
    QDBusConnection connection_;
    QList<Call> calls_;
};
