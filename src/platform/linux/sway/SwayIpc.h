#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// sway's command socket (SWAYSOCK): each message is "i3-ipc", the payload's
// length and the message's type (both 32-bit, in the machine's byte order),
// then the JSON payload. Replies carry the type of their request; events the
// type of their kind with the highest bit set.
namespace SwayIpc {

inline constexpr std::uint32_t runCommand = 0;
inline constexpr std::uint32_t subscribe = 2;
inline constexpr std::uint32_t getTree = 4;
inline constexpr std::uint32_t workspaceEvent = 0x80000000;
inline constexpr std::uint32_t bindingEvent = 0x80000005;

struct Message {
    std::uint32_t type = 0;
    QByteArray payload;
};

QByteArray encode(std::uint32_t type, const QByteArray& payload);

// Takes the whole messages from the front of `buffer`, leaving a partial one.
QList<Message> takeMessages(QByteArray& buffer);

// One request and its reply on a connection of its own, waiting at most
// `timeoutMs`: what sway answers, or none. Safe from any thread.
std::optional<QJsonDocument> ask(const QString& socket, std::uint32_t type, const QByteArray& payload,
                                 int timeoutMs = 500);

}  // namespace SwayIpc
