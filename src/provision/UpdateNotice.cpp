#include "provision/UpdateNotice.h"

#include <QDesktopServices>
#include <QUrl>

namespace UpdateNotice {

namespace {
QString siteUrl()
{
    return QStringLiteral(SAYRI_SITE_URL);
}
}  // namespace

void 確認(std::function<void()> completion)
{
    // The feed fetch arrives with the update notice; without a site there is
    // nothing to fetch.
    if (completion)
        completion();
}

std::optional<QString> 新しい版()
{
    return std::nullopt;
}

void openDownloadPage()
{
    if (!siteUrl().isEmpty())
        QDesktopServices::openUrl(QUrl(siteUrl()));
}

}  // namespace UpdateNotice
