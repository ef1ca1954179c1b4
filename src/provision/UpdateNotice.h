#pragma once

#include <QString>

#include <functional>
#include <optional>

// Sayri's own check for a newer version. It reads the update feed
// ("/updates/appcast.xml" on the maker's web site, a build setting), compares
// the newest build number in it with this build's number, and remembers the
// newer version's short version string for the three red notices (tray menu,
// settings window, recording bar). While the site is unset nothing is fetched.
namespace UpdateNotice {

// Calls `completion` (when given) exactly once: at once, on the caller's
// thread, when no fetch is started (site unset, or the last fetch began less
// than 1500 s ago); otherwise on the main thread after `新しい版` has been
// updated. May be called from any thread; the fetch never blocks the caller.
void 確認(std::function<void()> completion);

// The newer version's short version string, if one is known. Any thread.
std::optional<QString> 新しい版();

// Opens the maker's download page with the desktop's browser. False, and
// nothing opened, while the site is unset.
bool openDownloadPage();

// The pieces of the check, exposed for their tests.
namespace detail {
struct FeedNewest {
    qint64 build = 0;
    QString version;
};
// The first build number and the first short version string in a feed;
// nothing unless the bytes are UTF-8 text holding both.
std::optional<FeedNewest> parseFeed(const QByteArray& bytes);
// A build number as text: decimal digits with an optional leading sign;
// anything else counts as 0.
qint64 parseBuildNumber(const QString& text);
}  // namespace detail

// For tests only: points the check at another site and own build number and
// forgets the last fetch and any newer version found.
namespace testing {
void reset(const QString& siteUrl, const QString& ownBuild);
// Moves the last fetch `seconds` into the past.
void ageLastFetch(double seconds);
}  // namespace testing

}  // namespace UpdateNotice
