#include "store/AtomicFile.h"

#include <QFile>
#include <QSaveFile>

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile f(path);
    auto fail = [&] {
        if (error)
            *error = f.errorString();
        return false;
    };
    if (!f.open(QIODevice::WriteOnly))
        return fail();
    // An error while the buffer drains at commit() goes unnoticed by
    // QSaveFile (Qt 6.4), so the buffer is drained here first.
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        fail();
        f.cancelWriting();
        return false;
    }
    return f.commit() || fail();
}
