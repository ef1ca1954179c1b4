#pragma once

#include <QString>

#include <functional>
#include <optional>

// The check for a newer Sayri. The feed lives on the maker's web site, a
// build setting; while it is unset the check fetches nothing.
namespace UpdateNotice {

// Calls `completion` exactly once: at once when no fetch is started,
// otherwise on the main thread after `新しい版` has been updated.
void 確認(std::function<void()> completion);
// The newer version's short version string, if one is known.
std::optional<QString> 新しい版();
// Opens the maker's download page in the browser (nothing when unset).
void openDownloadPage();

}  // namespace UpdateNotice
