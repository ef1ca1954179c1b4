#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <mutex>
#include <optional>
#include <utility>

class QNetworkReply;

// A small synchronous HTTP utility for worker threads (never the main thread).
// Each call runs the exchange on a network manager owned by the calling
// thread and waits for it in a local event loop of that thread.
namespace HTTP {

// Ends an exchange from any other thread: its connection is closed (a server
// that watches its client stops working on it) and the waiting call returns
// with no answer. Cancelled before the exchange starts, it never starts.
class Cancel {
public:
    void cancel();

private:
    friend class CancelScope;
    std::mutex mutex_;
    bool cancelled_ = false;
    QNetworkReply* reply_ = nullptr;  // the exchange in flight, owned by its thread
};

struct Request {
    QUrl url;
    QByteArray method = "GET";
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // Seconds the transfer may go without progress before it gives up.
    double timeout = 60;
    std::shared_ptr<Cancel> cancel;  // optional
};

struct Response {
    std::optional<QByteArray> body;  // nothing when no HTTP response arrived
    int status = 0;                  // 0 when no HTTP response arrived
};

// Waits until the answer or until the time limit + 5 seconds have passed.
// An answer that comes later is never seen.
Response request(const Request& request);
// GET `url`; only the status (0 for an invalid address or no answer).
int statusCode(const QString& url, double timeout);

}  // namespace HTTP
