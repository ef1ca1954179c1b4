#pragma once

#include <QString>

// The dictation controller's phase.
enum class Phase { idle = 0, recording = 1, processing = 2 };

// The phase as the log names it.
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

// The phase as the tray menu's title names it: shorter while processing.
inline QString menuLabel(Phase phase)
{
    return phase == Phase::processing ? QStringLiteral("処理中") : description(phase);
}
