// Where Sayri looks for the whisper-server program.

#include "TestDataFolder.h"

#include "provision/ModelSetup.h"
#include "store/Config.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestFindBinary : public QObject {
    Q_OBJECT

    static QString makeFile(const QString& folder, bool executable)
    {
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/whisper-server");
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("#!/bin/sh\n");
        f.close();
        f.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                    : QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

private Q_SLOTS:
    void candidatesInOrder()
    {
        TestDataFolder data;
        const QString root = data.root();
        const QByteArray oldPath = qgetenv("PATH");
        const QString plain = makeFile(root + QStringLiteral("/plain"), false);
        QDir().mkpath(root + QStringLiteral("/folder/whisper-server"));
        const QString first = makeFile(root + QStringLiteral("/first"), true);
        const QString second = makeFile(root + QStringLiteral("/second"), true);
        const QString oldFolder = QDir::currentPath();
        QDir::setCurrent(root);
        makeFile(root + QStringLiteral("/relative-bin"), true);
        qputenv("PATH", QStringLiteral("relative-bin:%1/plain:%1/folder::%1/first:%1/second")
                            .arg(root).toUtf8());

        // Neither a plain file, a folder nor a relative PATH entry counts.
        Config::edit([&](ConfigData& c) { c.whisperBinary = plain; });
        QCOMPARE(ModelSetup::findBinary(), std::optional<QString>(first));
        // The configured program comes first.
        Config::edit([&](ConfigData& c) { c.whisperBinary = second; });
        QCOMPARE(ModelSetup::findBinary(), std::optional<QString>(second));

        QDir::setCurrent(oldFolder);
        qputenv("PATH", oldPath);
    }
};

QTEST_GUILESS_MAIN(TestFindBinary)
#include "tst_FindBinary.moc"
