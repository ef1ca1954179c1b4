#pragma once

#include "platform/AudioInputs.h"

#include <QList>

#include <optional>

// The machine's audio inputs, enumerated afresh at every call (devices come
// and go). Only devices that capture appear: never a monitor of an output.
// Defined by the platform backend.
namespace AudioDevices {

// Every input, in the order the platform lists them. Empty when nothing can
// be read (no sound server).
QList<AudioInputDevice> inputs();
// The first input whose uid equals `uid` exactly.
std::optional<AudioInputDevice> find(const QString& uid);
// The system default input, for the microphone labels.
std::optional<AudioInputDevice> defaultInput();

}  // namespace AudioDevices
