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

// The encoder window (form field "audio_ctx", in 20 ms units) for a recording
// of `wavBytes`: its length plus 2 seconds, at least 10 seconds. Nothing when
// that reaches the whole 30-second window (recordings from 28 seconds on).
// The encoder's work grows with the window, and below about 10 seconds the
// model tends to repeat itself.
std::optional<int> encoderWindow(qint64 wavBytes);

// Seconds the request may take: one minute plus the recording's duration
// (32 000 bytes a second after the 44-byte header), never under two minutes.
double timeLimit(qint64 wavBytes);

// The string member "text" of a JSON object reply, or nothing.
std::optional<QString> replyText(const QByteArray& body);

}  // namespace Inference
