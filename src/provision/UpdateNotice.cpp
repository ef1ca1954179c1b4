#include "provision/UpdateNotice.h"

#include "BuildSettings.h"
#include "store/Log.h"
#include "support/MainThread.h"
#include "support/Uptime.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include <mutex>

#define SAYRI_TEXT_OF(x) #x
#define SAYRI_TEXT(x) SAYRI_TEXT_OF(x)

namespace UpdateNotice {

namespace {

constexpr double fetchInterval = 1500;  // seconds between two fetches
constexpr int fetchTimeoutMs = 15000;
const QString feedPath = QStringLiteral("/updates/appcast.xml");

struct State {
    std::mutex mutex;
    std::optional<QString> newer;
    std::optional<double> lastFetch;  // uptime seconds: a clock set back cannot stall the check
    QString site = QStringLiteral(SAYRI_SITE_URL);
    QString ownBuild = QStringLiteral(SAYRI_TEXT(SAYRI_BUILD_NUMBER));
};

State& state()
{
    static State s;
    return s;
}

QString siteBase()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    QString site = s.site.trimmed();
    while (site.endsWith(u'/'))
        site.chop(1);
    return site;
}

// An absolute http(s) address below the site, or nothing.
std::optional<QUrl> siteAddress(const QString& path)
{
    const QString base = siteBase();
    if (base.isEmpty())
        return std::nullopt;
    const QUrl url(base + path, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QStringLiteral("https") && url.scheme() != QStringLiteral("http")))
        return std::nullopt;
    return url;
}

// Main thread: the newer version found by a completed fetch, or none.
void publish(const std::optional<QString>& newer)
{
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (s.newer == newer)
            return;
        s.newer = newer;
    }
    if (newer)
        Log::write(QStringLiteral("新しい版 %1 が配信されています（画面に赤文字で案内）").arg(*newer));
}

void handleFeed(const QByteArray& body)
{
    const auto newest = detail::parseFeed(body);
    if (!newest)
        return;
    qint64 own = 0;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        own = detail::parseBuildNumber(s.ownBuild);
    }
    publish(newest->build > own ? std::optional<QString>(newest->version) : std::nullopt);
}

// Main thread: one fetch of the feed; `completion` runs after its answer
// (or its failure) has been handled.
void fetch(const QUrl& url, std::function<void()> completion)
{
    static QPointer<QNetworkAccessManager> network;
    if (!network)
        network = new QNetworkAccessManager(QCoreApplication::instance());

    QNetworkRequest request(url);
    request.setTransferTimeout(fetchTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = network->get(request);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, completion = std::move(completion)] {
        reply->deleteLater();
        // Status codes do not matter: an error page simply lacks the elements.
        handleFeed(reply->readAll());
        if (completion)
            completion();
    });
}

}  // namespace

void 確認(std::function<void()> completion)
{
    // Decided under the lock; the completion runs outside it, since it may
    // read `新しい版` (the settings window's does).
    State& s = state();
    bool recent = false;
    {
        std::lock_guard lock(s.mutex);
        const double now = uptimeSeconds();
        recent = s.lastFetch && now - *s.lastFetch < fetchInterval;
        if (!recent)
            s.lastFetch = now;
    }
    const auto url = recent ? std::nullopt : siteAddress(feedPath);
    if (!url) {
        if (completion)
            completion();
        return;
    }
    if (MainThread::isCurrent())
        fetch(*url, std::move(completion));
    else
        MainThread::async(
            nullptr, [url = *url, completion = std::move(completion)]() mutable { fetch(url, std::move(completion)); });
}

std::optional<QString> 新しい版()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.newer;
}

bool openDownloadPage()
{
    const auto url = siteAddress(QStringLiteral("/"));
    if (url)
        QDesktopServices::openUrl(*url);
    return url.has_value();
}

namespace detail {

std::optional<FeedNewest> parseFeed(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;

    static const QRegularExpression buildPattern(QStringLiteral("<sparkle:version>([0-9]+)</sparkle:version>"));
    static const QRegularExpression versionPattern(
        QStringLiteral("<sparkle:shortVersionString>([0-9.]+)</sparkle:shortVersionString>"));

    const QRegularExpressionMatch build = buildPattern.match(text);
    if (!build.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 number = build.captured(1).toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    const QRegularExpressionMatch version = versionPattern.match(text);
    if (!version.hasMatch())
        return std::nullopt;
    return FeedNewest{number, version.captured(1)};
}

qint64 parseBuildNumber(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (!pattern.match(text).hasMatch())
        return 0;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok, 10);
    return ok ? number : 0;
}

}  // namespace detail

namespace testing {

void reset(const QString& siteUrl, const QString& ownBuild)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.site = siteUrl;
    s.ownBuild = ownBuild;
    s.newer.reset();
    s.lastFetch.reset();
}

void ageLastFetch(double seconds)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.lastFetch)
        *s.lastFetch -= seconds;
}

}  // namespace testing

}  // namespace UpdateNotice
