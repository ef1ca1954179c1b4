#include "platform/linux/atspi/DBusBatch.h"

#include <QDBusPendingCall>
#include <QDeadlineTimer>
#include <QThread>

#include <vector>

namespace {

// libdbus's "no time limit": the batch keeps its own, so no timer is armed
// for every single call.
constexpr int noTimeLimit = 0x7fffffff;

// How long to sleep while an answer is due.
constexpr unsigned long pollMicroseconds = 100;

// An error made on this side because no answer came, or the bus went away.
bool isTimeOut(const QDBusMessage& answer)
{
    if (answer.type() != QDBusMessage::ErrorMessage)
        return false;
    const QString name = answer.errorName();
    return name == QLatin1String("org.freedesktop.DBus.Error.NoReply")
           || name == QLatin1String("org.freedesktop.DBus.Error.Timeout")
           || name == QLatin1String("org.freedesktop.DBus.Error.TimedOut")
           || name == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

}  // namespace

DBusBatch::DBusBatch(QDBusConnection connection) : connection_(std::move(connection)) {}

void DBusBatch::add(const QDBusMessage& call, Handler handler)
{
    calls_.append({call, std::move(handler)});
}

bool DBusBatch::run(int stallMs, int limitMs)
{
    const QList<Call> calls = std::move(calls_);
    calls_.clear();
    if (calls.isEmpty())
        return true;

    std::vector<QDBusPendingCall> pending;
    pending.reserve(size_t(calls.size()));
    for (const Call& call : calls)
        pending.push_back(connection_.asyncCall(call.message, noTimeLimit));

    // Answers are taken in the order the calls went out, which is the order
    // an application answers them in. A call left without an answer while
    // others were answered failed alone (an application still answering has
    // dropped it): its handler is not run and the batch goes on. Calls left unanswered are cancelled when their pending
    // objects go.
    const QDeadlineTimer limit(limitMs);
    QDeadlineTimer stall(stallMs);
    const auto othersAnswered = [&](size_t i) {
        for (size_t j = 0; j < pending.size(); ++j)
            if (j != i && pending[j].isFinished() && !isTimeOut(pending[j].reply()))
                return true;
        return false;
    };
    for (size_t i = 0; i < pending.size(); ++i) {
        while (!pending[i].isFinished() && !limit.hasExpired() && !stall.hasExpired())
            QThread::usleep(pollMicroseconds);
        const bool answered = pending[i].isFinished() && !isTimeOut(pending[i].reply());
        if (!answered && !othersAnswered(i))
            return false;
        stall.setRemainingTime(stallMs);
        if (answered)
            calls[qsizetype(i)].handler(pending[i].reply());
    }
    return true;
}
