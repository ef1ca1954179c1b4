#pragma once

#include <cstdint>

// The steps of the first-run setup, in their order. The name of a case is
// what the log prints.
enum class FirstRunStep : std::uint8_t { ようこそ, マイク, 仮表示, 貼り付け, モデル, 完了 };
