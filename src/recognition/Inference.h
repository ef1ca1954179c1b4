#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

// The "/inference" exchange with the recognition server: the multipart form
// sent with each recording, its time limit and the reading of the reply.
namespace Inference {

// "----sayri-" and a fresh random UUID in upper case, new for every request.
QByteArray newBoundary();

// The form: "file" (rec.wav, audio/wav), "response_format" = json,
// "temperature" = 0.0, and "prompt" only when the prompt is not empty;
// CR LF line ends, closed by the final delimiter. `fields` (name, value) follow
// the temperature.
QByteArray formBody(const QByteArray& wav, const QString& prompt, const QByteArray& boundary,
                    const QList<std::pair<QByteArray, QByteArray>>& fields = {});

// Seconds the request may take: one minute plus the recording's duration
// (32 000 bytes a second after the 44-byte header), never under two minutes.
double timeLimit(qint64 wavBytes);

// The string member "text" of a JSON object reply, or nothing.
std::optional<QString> replyText(const QByteArray& body);

}  // namespace Inference
