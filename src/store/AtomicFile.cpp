#include "store/AtomicFile.h"

#include <QFile>
#include <QSaveFile>

bool writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    // An error while the buffer drains at commit() goes unnoticed by
    // QSaveFile (Qt 6.4), so the buffer is drained here first.
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}
