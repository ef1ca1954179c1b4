#include "audio/Recorder.h"

QString RecError::message() const
{
    switch (kind) {
    case noInput:
        return QStringLiteral("マイク入力を開けませんでした（マイク許可を確認してください）");
    case formatChanged:
        return QStringLiteral("マイクの準備が間に合いませんでした。もう一度キーを2回押してください");
    }
    return {};
}
