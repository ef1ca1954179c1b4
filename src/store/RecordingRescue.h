#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Keeps the recording of a failed transcription ("救出した録音" in the data
// folder), so a long dictation is not lost.
namespace 録音の救出 {

// The path of the kept file, or nothing (too short, or the write failed).
std::optional<QString> 残す(const QByteArray& wav);
QString フォルダ();

}  // namespace 録音の救出
