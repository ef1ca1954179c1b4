#include "store/ConfigData.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QVariant>

#include <cmath>

namespace {

QString expandHome(const QString& path)
{
    return path.startsWith(u'~') ? QDir::homePath() + path.mid(1) : path;
}

// A JSON number that is a whole number within the signed 64-bit range.
std::optional<qint64> wholeNumber(const QJsonValue& v)
{
    if (!v.isDouble())
        return std::nullopt;
    const QVariant var = v.toVariant();
    if (var.typeId() == QMetaType::LongLong)
        return var.toLongLong();
    const double d = v.toDouble();
    // 2^63 is exactly representable; anything at or beyond it is out of range.
    if (!std::isfinite(d) || d != std::trunc(d) || d >= 9223372036854775808.0 || d < -9223372036854775808.0)
        return std::nullopt;
    return qint64(d);
}

std::optional<QString> requiredText(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString())
        return std::nullopt;
    return v.toString();
}

}  // namespace

QString ConfigData::defaultModelPath()
{
    return expandHome(QStringLiteral("~/.pomeru/models/ggml-large-v3-turbo-q5_0.bin"));
}

QString ConfigData::defaultVadModelPath()
{
    return expandHome(QStringLiteral("~/.pomeru/models/ggml-silero-v5.1.2.bin"));
}

std::optional<ConfigData> ConfigData::decode(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();

    ConfigData c;
    const auto trigger = requiredText(o, "triggerKeyId");
    const auto port = wholeNumber(o.value(QLatin1String("whisperPort")));
    const auto limit = wholeNumber(o.value(QLatin1String("historyLimit")));
    const auto mic = requiredText(o, "micDeviceUID");
    const auto model = requiredText(o, "whisperModelPath");
    const auto vad = requiredText(o, "vadModelPath");
    const auto binary = requiredText(o, "whisperBinary");
    if (!trigger || !port || !limit || !mic || !model || !vad || !binary)
        return std::nullopt;
    c.triggerKeyId = *trigger;
    c.whisperPort = *port;
    c.historyLimit = *limit;
    c.micDeviceUID = *mic;
    c.whisperModelPath = *model;
    c.vadModelPath = *vad;
    c.whisperBinary = *binary;

    const QJsonValue anchor = o.value(QLatin1String("overlayAnchor"));
    if (anchor.isString())
        c.overlayAnchor = anchor.toString();
    else if (!anchor.isNull() && !anchor.isUndefined())
        return std::nullopt;

    const QJsonValue hints = o.value(QLatin1String("screenHintEnabled"));
    if (hints.isBool())
        c.screenHintEnabled = hints.toBool();
    else if (!hints.isNull() && !hints.isUndefined())
        return std::nullopt;
    return c;
}

QByteArray ConfigData::encode() const
{
    QJsonObject o;  // QJsonObject keeps its keys sorted
    o.insert(QLatin1String("triggerKeyId"), triggerKeyId);
    o.insert(QLatin1String("whisperPort"), whisperPort);
    o.insert(QLatin1String("historyLimit"), historyLimit);
    o.insert(QLatin1String("micDeviceUID"), micDeviceUID);
    o.insert(QLatin1String("whisperModelPath"), whisperModelPath);
    o.insert(QLatin1String("vadModelPath"), vadModelPath);
    o.insert(QLatin1String("whisperBinary"), whisperBinary);
    if (overlayAnchor)
        o.insert(QLatin1String("overlayAnchor"), *overlayAnchor);
    if (screenHintEnabled)
        o.insert(QLatin1String("screenHintEnabled"), *screenHintEnabled);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}
