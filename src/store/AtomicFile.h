#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file through a temporary file, so readers see the old or the new
// content, never a part. Returns false on failure, with the system's reason
// in `error` when one is asked for.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);
