#pragma once

#include <QByteArray>
#include <QString>

// Replaces the whole content of a file in place. Returns false on failure.
bool writeWholeFile(const QString& path, const QByteArray& bytes);
// Replaces a file through a temporary file, so readers see the old or the new
// content, never a part. Returns false on failure.
bool writeFileAtomically(const QString& path, const QByteArray& bytes);
