#pragma once

#include <QString>

#include <optional>

// Finding the recognition model and the server program.
namespace ModelSetup {

// The configured model file when it exists, or nothing.
std::optional<QString> find();
// The first executable `whisper-server`: the configured path, next to Sayri's
// own executable, each PATH entry, /usr/local/bin, /usr/bin.
std::optional<QString> findBinary();

}  // namespace ModelSetup
