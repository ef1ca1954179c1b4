#include "store/RecordingRescue.h"

#include "store/Config.h"

// Placeholder until recording rescue lands.
namespace 録音の救出 {
std::optional<QString> 残す(const QByteArray&) { return std::nullopt; }
QString フォルダ() { return Config::file(QStringLiteral("救出した録音")); }
}  // namespace 録音の救出
