#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Keeps the recording of a failed transcription ("救出した録音" in the data
// folder), so a long dictation is not lost. Only the five newest ".wav" files
// stay. Called from the pipeline queue only.
namespace 録音の救出 {

// Recordings shorter than this are not kept.
inline constexpr double 最短秒数 = 30.0;
// How many ".wav" files the folder keeps.
inline constexpr int 残す数 = 5;

// The path of the kept file, or nothing (too short, or the write failed).
std::optional<QString> 残す(const QByteArray& wav);
QString フォルダ();

}  // namespace 録音の救出
