#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The one settings record, mirrored to "config.json".
struct ConfigData {
    QString triggerKeyId = QStringLiteral("option");
    qint64 whisperPort = 8773;
    qint64 historyLimit = 100;  // stored only; the history cap is fixed
    QString micDeviceUID;       // empty: the system default input
    QString whisperModelPath = defaultModelPath();
    QString vadModelPath = defaultVadModelPath();  // stored only
    QString whisperBinary = QStringLiteral("/usr/local/bin/whisper-server");
    std::optional<QString> overlayAnchor;   // "x,y": bar centre x, bottom y
    std::optional<bool> screenHintEnabled;  // absent counts as on

    bool screenHintsOn() const { return screenHintEnabled.value_or(true); }

    // Strict decoding of "config.json": all seven required keys with their
    // JSON types; the two optionals may be missing or null; other keys are
    // ignored. Anything else gives nothing.
    static std::optional<ConfigData> decode(const QByteArray& json);
    // Pretty-printed, keys sorted, absent optionals left out, UTF-8.
    QByteArray encode() const;

    static QString defaultModelPath();
    static QString defaultVadModelPath();

    bool operator==(const ConfigData&) const = default;
};
