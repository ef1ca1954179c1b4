// Finding the model and the whisper-server program, the fingerprint, and
// recording what was found.
#include "LogFile.h"
#include "TestDataFolder.h"

#include "provision/ModelSetup.h"
#include "store/Config.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

namespace {

// A file of `size` bytes (sparse; -1: none).
void makeFile(const QString& path, qint64 size, QFile::Permissions extra = {})
{
    if (size < 0)
        return;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.resize(size);
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | extra);
}

}  // namespace

class TestModelSetup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void find_data()
    {
        QTest::addColumn<QList<qint64>>("sizes");  // configured, models folder, default path
        QTest::addColumn<int>("found");            // which one, -1: none
        const qint64 big = ModelSetup::plausibleModelSize + 1, small = big - 1;
        QTest::newRow("configured first") << QList{big, big, big} << 0;
        QTest::newRow("models folder next") << QList{small, big, big} << 1;
        QTest::newRow("default path last") << QList{-1LL, small, big} << 2;
        QTest::newRow("none large enough") << QList{small, small, -1LL} << -1;
    }
    void find()
    {
        TestDataFolder data;
        const QStringList paths{data.root() + "/mine/model.bin",
                                ModelSetup::modelsDir() + "/ggml-large-v3-turbo-q5_0.bin",
                                data.root() + "/.pomeru/models/ggml-large-v3-turbo-q5_0.bin"};
        Config::edit([&](ConfigData& c) { c.whisperModelPath = paths[0]; });
        QFETCH(QList<qint64>, sizes);
        for (int i = 0; i < 3; ++i)
            makeFile(paths[i], sizes[i]);
        QFETCH(int, found);
        QCOMPARE(ModelSetup::find(), found < 0 ? std::nullopt : std::optional(paths[found]));
    }

    void fingerprint()
    {
        TestDataFolder data;
        const QString path = data.root() + "/model.bin";
        QByteArray bytes(9 * 1048576 + 7, Qt::Uninitialized);  // many reads
        QRandomGenerator(3).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        writeFile(path, bytes);
        const QString hash = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        const qint64 size = bytes.size();
        QCOMPARE(ModelSetup::sha256(path), hash);
        QVERIFY(ModelSetup::本物と一致する(path, {size, hash.toUpper()}));
        for (const auto& [file, size, sha] :
             {std::tuple{path, size + 1, hash}, {path, size, "0" + hash.mid(1)}, {path + ".missing", size, hash}})
            QVERIFY(!ModelSetup::本物と一致する(file, {size, sha}));
    }

    // The program and the model are found, then recorded in the settings.
    void findBinaryAndSave()
    {
        TestDataFolder data;
        const QString root = data.root();
        const auto program = [&root](const QString& folder, bool executable) {
            const QString path = root + folder + "/whisper-server";
            makeFile(path, 10, executable ? QFile::ExeOwner : QFile::Permissions());
            return path;
        };
        const QString plain = program("/plain", false);
        QDir().mkpath(root + "/folder/whisper-server");
        const QString first = program("/first", true);
        const QString second = program("/second", true);
        program("/relative-bin", true);
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

        const QString model = ModelSetup::modelsDir() + "/ggml-large-v3-turbo-q5_0.bin";
        QVERIFY(!ModelSetup::resolveAndSave());
        QVERIFY(!QFile::exists(data.file("config.json")));
        makeFile(model, ModelSetup::plausibleModelSize + 1);
        QVERIFY(ModelSetup::resolveAndSave());
        QCOMPARE(logMessages(), QStringList{QStringLiteral("認識の部品を設定: モデル=%1・本体=%2").arg(model, second)});
        QCOMPARE(ConfigData::decode(data.readText("config.json").toUtf8())->whisperModelPath, model);
        // Unchanged: nothing is written or logged.
        QFile::remove(data.file("config.json"));
        QVERIFY(ModelSetup::resolveAndSave());
        QVERIFY(!QFile::exists(data.file("config.json")));
        QCOMPARE(logMessages().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestModelSetup)
#include "tst_ModelSetup.moc"
