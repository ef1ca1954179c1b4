#include "platform/linux/QtAudioInputs.h"

#include "audio/AudioDevices.h"

#include <QAudioDevice>
#include <QMediaDevices>

namespace {

// Qt lists PulseAudio/PipeWire sources by their source name (stable across
// runs: the persistent uid) and description. Qt already leaves monitors of
// outputs out; a source named like one is left out too.
bool isMonitor(const QAudioDevice& device)
{
    return device.id().endsWith(".monitor");
}

AudioInputDevice record(const QAudioDevice& device)
{
    return {QString::fromUtf8(device.id()), device.description()};
}

}  // namespace

namespace AudioDevices {

QList<AudioInputDevice> inputs()
{
    QList<AudioInputDevice> out;
    for (const QAudioDevice& device : QMediaDevices::audioInputs())
        if (!isMonitor(device) && !device.id().isEmpty() && !device.description().isEmpty())
            out.append(record(device));
    return out;
}

std::optional<AudioInputDevice> find(const QString& uid)
{
    for (const AudioInputDevice& device : inputs())
        if (device.uid == uid)
            return device;
    return std::nullopt;
}

std::optional<AudioInputDevice> defaultInput()
{
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull() || isMonitor(device))
        return std::nullopt;
    return record(device);
}

}  // namespace AudioDevices

QList<AudioInputDevice> QtAudioInputs::inputs()
{
    return AudioDevices::inputs();
}

std::optional<AudioInputDevice> QtAudioInputs::defaultInput()
{
    return AudioDevices::defaultInput();
}
