#include "recognition/Inference.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace Inference {

namespace {

const QByteArray crlf = QByteArrayLiteral("\r\n");

void appendPart(QByteArray& body, const QByteArray& boundary, const QByteArray& disposition,
                const QByteArray& contentType, const QByteArray& content)
{
    body += "--" + boundary + crlf;
    body += "Content-Disposition: form-data; " + disposition + crlf;
    if (!contentType.isEmpty())
        body += "Content-Type: " + contentType + crlf;
    body += crlf;
    body += content;
    body += crlf;
}

}  // namespace

QByteArray newBoundary()
{
    return "----sayri-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces).toUpper();
}

QByteArray formBody(const QByteArray& wav, const QString& prompt, const QByteArray& boundary,
                    const QList<std::pair<QByteArray, QByteArray>>& fields)
{
    const QByteArray promptBytes = prompt.toUtf8();
    QByteArray body;
    body.reserve(wav.size() + promptBytes.size() + 6 * boundary.size() + 400);
    appendPart(body, boundary, R"(name="file"; filename="rec.wav")", "audio/wav", wav);
    appendPart(body, boundary, R"(name="response_format")", {}, "json");
    appendPart(body, boundary, R"(name="temperature")", {}, "0.0");
    for (const auto& [name, value] : fields)
        appendPart(body, boundary, "name=\"" + name + '"', {}, value);
    if (!promptBytes.isEmpty())
        appendPart(body, boundary, R"(name="prompt")", {}, promptBytes);
    body += "--" + boundary + "--" + crlf;
    return body;
}

std::optional<int> encoderWindow(qint64 wavBytes)
{
    constexpr int unitsPerSecond = 50, wholeWindow = 1500;
    const double seconds = double(std::max<qint64>(0, wavBytes - 44)) / 32000.0;
    const int units = int(std::ceil(std::max(10.0, seconds + 2) * unitsPerSecond));
    if (units >= wholeWindow)
        return std::nullopt;
    return units;
}

double timeLimit(qint64 wavBytes)
{
    const double seconds = 60.0 + double(std::max<qint64>(0, wavBytes - 44)) / 32000.0;
    return std::max(120.0, seconds);
}

std::optional<QString> replyText(const QByteArray& body)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonValue text = doc.object().value(QStringLiteral("text"));
    if (!text.isString())
        return std::nullopt;
    return text.toString();
}

}  // namespace Inference
