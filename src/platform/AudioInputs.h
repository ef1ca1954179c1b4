#pragma once

#include <QList>
#include <QString>

#include <optional>

struct AudioInputDevice {
    QString uid;   // persistent identifier, stored as micDeviceUID
    QString name;  // display name
    bool operator==(const AudioInputDevice&) const = default;
};

// The machine's audio inputs, enumerated afresh at every call.
class AudioInputs {
public:
    virtual ~AudioInputs() = default;
    virtual QList<AudioInputDevice> inputs() = 0;
    virtual std::optional<AudioInputDevice> defaultInput() = 0;

    std::optional<AudioInputDevice> find(const QString& uid)
    {
        for (const auto& d : inputs())
            if (d.uid == uid)
                return d;
        return std::nullopt;
    }
};
