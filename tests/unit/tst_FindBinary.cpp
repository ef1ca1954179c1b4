// Where Sayri looks for the whisper-server program.

#include "TestDataFolder.h"

#include "provision/ModelSetup.h"
#include "store/Config.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestFindBinary : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void candidatesInOrder()
    {
        TestDataFolder data;
        const QString root = data.root();
        const auto makeFile = [&root](const QString& folder, bool executable) {
            QDir().mkpath(root + folder);
            QFile f(root + folder + QStringLiteral("/whisper-server"));
            f.open(QIODevice::WriteOnly);
            f.write("#!/bin/sh\n");
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | (executable ? QFile::ExeOwner : QFile::Permissions()));
            return f.fileName();
        };
        const QString plain = makeFile(QStringLiteral("/plain"), false);
        QDir().mkpath(root + QStringLiteral("/folder/whisper-server"));
        const QString first = makeFile(QStringLiteral("/first"), true);
        const QString second = makeFile(QStringLiteral("/second"), true);
        makeFile(QStringLiteral("/relative-bin"), true);
        const QString oldFolder = QDir::currentPath();
        const QByteArray oldPath = qgetenv("PATH");
        QDir::setCurrent(root);
        qputenv("PATH", QStringLiteral("relative-bin:%1/plain:%1/folder::%1/first:%1/second").arg(root).toUtf8());

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
