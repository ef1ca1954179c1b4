#include "platform/linux/system/SessionEnvironment.h"

#include "store/Log.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QObject>
#include <QProcess>
#include <QUrl>

#include <map>
#include <optional>

namespace {

// Each variable Sayri set, with the session's value (none: it was unset).
std::map<QString, std::optional<QString>>& given()
{
    static std::map<QString, std::optional<QString>> values;
    return values;
}

// Opens a link in the user's browser through xdg-open, as the session would.
class LinkOpener : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

public Q_SLOTS:
    void openUrl(const QUrl& url)
    {
        QProcess opener;
        opener.setProgram(QStringLiteral("xdg-open"));
        opener.setArguments({QString::fromUtf8(url.toEncoded())});
        opener.setProcessEnvironment(SessionEnvironment::forPrograms());
        opener.setStandardOutputFile(QProcess::nullDevice());
        opener.setStandardErrorFile(QProcess::nullDevice());
        if (!opener.startDetached())
            Log::write(QStringLiteral("リンクを開けませんでした（xdg-open を起動できません）: ") + url.host());
    }
};

}  // namespace

namespace SessionEnvironment {

void setForSayri(const char* name, const QByteArray& value)
{
    const QString key = QString::fromLatin1(name);
    if (!given().contains(key))
        given()[key] = qEnvironmentVariableIsSet(name) ? std::optional(qEnvironmentVariable(name)) : std::nullopt;
    qputenv(name, value);
}

QProcessEnvironment forPrograms()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : given()) {
        if (value)
            env.insert(name, *value);
        else
            env.remove(name);
    }
    return env;
}

void openLinksWithIt()
{
    if (given().empty() || !QCoreApplication::instance())
        return;
    auto* opener = new LinkOpener(QCoreApplication::instance());
    for (const QString& scheme : {QStringLiteral("http"), QStringLiteral("https")})
        QDesktopServices::setUrlHandler(scheme, opener, "openUrl");
}

}  // namespace SessionEnvironment

#include "SessionEnvironment.moc"
