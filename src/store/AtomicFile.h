#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Replaces a file through a temporary file, so readers see the old or the new
// content, never a part. Returns false on failure, with the system's reason
// in `error` when one is asked for.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Writes `from`'s bytes through to the disk, renames it to `to` (in the same
// folder) and writes the rename through: after a power cut `to` is the whole
// file or absent, never a torn one. What went wrong, when it failed; `from`
// is then left as it was.
std::optional<QString> renameDurably(const QString& from, const QString& to);
