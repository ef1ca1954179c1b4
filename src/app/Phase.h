#pragma once

#include <QString>

// The dictation controller's phase.
enum class Phase { idle = 0, recording = 1, processing = 2 };

inline QString description(Phase phase)
{
    switch (phase) {
    case Phase::idle:
        return QStringLiteral("待機中");
    case Phase::recording:
        return QStringLiteral("録音中");
    case Phase::processing:
        return QStringLiteral("文字起こし中");
    }
    return {};
}
