// Setting up the recognition parts: finding the model and the whisper-server
// program, the fingerprint, recording what was found; and the model download
// against a local server: resuming, starting over, switching location,
// verifying, failing to save, quitting.
#include "FileServer.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "provision/ModelDownload.h"
#include "store/Config.h"

#include <QCryptographicHash>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

using Route = FileServer::Route;

namespace {

const qint64 fileSize = 3 * 1048576 + 12345;
const qint64 half = fileSize / 2;
const QString failed = QStringLiteral("❌ 失敗しました。回線を確かめて、もう一度ボタンを押してください");
const QString resumable = failed + QStringLiteral("（途中のつづきから再開します）");
const QString wrong = QStringLiteral("❌ "
                                     "受け取ったデータが正しくありませんでした。安全のため取り消しました。もう一度ボタ"
                                     "ンを押すと、別の場所から取り寄せます");
const QString done = QStringLiteral("ダウンロード中… 3MB / 3MB（100%）");
const QString installed = QStringLiteral("モデルのダウンロード完了（指紋照合OK）: ");

QByteArray randomBytes(quint32 seed)
{
    QByteArray b(fileSize, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(b.data()), b.size() / 4);
    return b;
}

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

bool run(const QString& args)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), args}) == 0;
}

}  // namespace

class TestModelSetup : public QObject {
    Q_OBJECT

    const QByteArray file = randomBytes(1);
    std::unique_ptr<TestDataFolder> data;
    std::unique_ptr<FileServer> server;
    QProgressBar bar;
    QLabel status;
    QPushButton button;

    ModelDownload::Target target(const QString& folder)
    {
        const QString hash = QString::fromLatin1(QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex());
        return {folder, "model.bin", {fileSize, hash.toUpper()}, {server->url("/a"), server->url("/b")}};
    }
    // One attempt to its end; the status text it ended with.
    QString attempt(ModelDownload& download)
    {
        QSignalSpy ended(&download, &ModelDownload::installed);
        QSignalSpy failedSpy(&download, &ModelDownload::failed);
        QLabel other;
        download.start(&bar, &status, &button);
        download.start(&bar, &other, &button);  // ignored while one runs
        [&] { QTRY_VERIFY_WITH_TIMEOUT(ended.size() + failedSpy.size() == 1, 20000); }();
        return other.text().isEmpty() ? status.text() : "second start not ignored";
    }
    QStringList files(const QString& folder) { return QDir(folder).entryList(QDir::Files); }

private Q_SLOTS:
    void init()
    {
        data.reset();  // the environment of the previous case is restored first
        data = std::make_unique<TestDataFolder>();
        QDir().mkpath(data->path());
        server = std::make_unique<FileServer>();
        server->setRoute("/b", Route{file});
        server->setRoute("/c", Route{.block = file, .drops = {half}});
    }

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
        const QStringList paths{data->root() + "/mine/model.bin",
                                ModelSetup::modelsDir() + "/ggml-large-v3-turbo-q5_0.bin",
                                data->root() + "/.pomeru/models/ggml-large-v3-turbo-q5_0.bin"};
        Config::edit([&](ConfigData& c) { c.whisperModelPath = paths[0]; });
        QFETCH(QList<qint64>, sizes);
        for (int i = 0; i < 3; ++i)
            makeFile(paths[i], sizes[i]);
        QFETCH(int, found);
        QCOMPARE(ModelSetup::find(), found < 0 ? std::nullopt : std::optional(paths[found]));
    }

    void fingerprint()
    {
        const QString path = data->root() + "/model.bin";
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
        const QString root = data->root();
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
        QVERIFY(!QFile::exists(data->file("config.json")));
        makeFile(model, ModelSetup::plausibleModelSize + 1);
        QVERIFY(ModelSetup::resolveAndSave());
        QCOMPARE(logMessages(), QStringList{QStringLiteral("認識の部品を設定: モデル=%1・本体=%2").arg(model, second)});
        QCOMPARE(ConfigData::decode(data->readText("config.json").toUtf8())->whisperModelPath, model);
        // Unchanged: nothing is written or logged.
        QFile::remove(data->file("config.json"));
        QVERIFY(ModelSetup::resolveAndSave());
        QVERIFY(!QFile::exists(data->file("config.json")));
        QCOMPARE(logMessages().size(), 1);
    }

    void outcomes_data()
    {
        QTest::addColumn<Route>("a");
        QTest::addColumn<QStringList>("texts");     // the status after each attempt
        QTest::addColumn<QStringList>("requests");  // repeats of one request counted once
        QTest::addColumn<int>("urlIndex");
        QTest::addColumn<QString>("logLine");
        const QString r = "/a bytes=N1-";  // Nk: the partial file's size after the k-th resumable failure
        const QStringList ab{"/a", "/b"};
        QTest::newRow("whole") << Route{file} << QStringList{done} << QStringList{"/a"} << 0 << installed;
        QTest::newRow("dropped, resumed") << Route{.block = file, .drops = {half}} << QStringList{resumable, done}
                                          << QStringList{"/a", r} << 0 << installed;
        QTest::newRow("range ignored") << Route{.block = file, .ignoreRange = true, .drops = {half}}
                                       << QStringList{resumable, done} << QStringList{"/a", r} << 0 << installed;
        QTest::newRow("redirected, resumed") << Route{.redirect = "/c"} << QStringList{resumable, done}
                                             << QStringList{"/a", "/c", r, "/c bytes=N1-"} << 0 << installed;
        QTest::newRow("file changed meanwhile")
            << Route{.block = file, .changingTag = true, .drops = {half}} << QStringList{resumable, done}
            << QStringList{"/a", r, "/a"} << 0 << installed;
        QTest::newRow("a resume that yields nothing")
            << Route{.block = file, .drops = {half / 2, half / 2, 0}} << QStringList{resumable, resumable, failed, done}
            << QStringList{"/a", r, "/a bytes=N2-", "/b"} << 1 << installed;
        QTest::newRow("404") << Route{.block = "not here", .status = 404} << QStringList{failed, done} << ab << 1
                             << "モデルのダウンロードに失敗: HTTP 404・受信8バイト";
        QTest::newRow("too short") << Route{file.left(half)} << QStringList{failed, done} << ab << 1
                                   << QStringLiteral("モデルのダウンロードに失敗: HTTP 200・受信%1バイト").arg(half);
        QTest::newRow("wrong bytes") << Route{randomBytes(2)} << QStringList{wrong, done} << ab << 1
                                     << "⚠️ "
                                        "モデルの指紋が一致しません（受け取ったものを破棄・別の置き場に切り替え）";
        QTest::newRow("too long") << Route{file + "x"} << QStringList{wrong, done} << ab << 1 << installed;
        QTest::newRow("no length") << Route{.block = file, .noLength = true} << QStringList{"ダウンロード中… 3MB"}
                                   << QStringList{"/a"} << 0 << installed;
        QTest::newRow("redirect loop") << Route{.redirect = "/a"} << QStringList{failed, done} << ab << 1 << installed;
    }
    void outcomes()
    {
        QFETCH(Route, a);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, requests);
        QFETCH(QString, logLine);
        server->setRoute("/a", a);
        const QString folder = ModelSetup::modelsDir();
        ModelDownload download(target(folder));
        QStringList seen;
        for (int resumed = 0; seen.size() < texts.size();) {
            seen << attempt(download);
            QCOMPARE(download.hasResumeData(), seen.last() == resumable);
            if (download.hasResumeData())
                requests.replaceInStrings(QStringLiteral("=N%1-").arg(++resumed),
                                          QStringLiteral("=%1-").arg(QFileInfo(folder + "/model.bin.part").size()));
        }
        QCOMPARE(seen, texts);
        QCOMPARE(button.text(), texts.size() > 1 ? "もう一度ダウンロード" : button.text());
        QStringList asked = server->requests();
        asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
        QCOMPARE(asked, requests);
        QTEST(download.urlIndex(), "urlIndex");
        QVERIFY(logContains(logLine) || logContains(logLine + folder + "/model.bin"));
        QVERIFY(readFile(folder + "/model.bin") == file);
        QCOMPARE(files(folder), QStringList{"model.bin"});
        QCOMPARE(bar.value(), texts.last() == done ? bar.maximum() : 0);
    }

    // Where the file cannot be saved: the failure text, and nothing left.
    void saveFaults()
    {
        const QString folder = data->root() + "/small";
        server->setRoute("/a", Route{file});
        const auto check = [&](const QString& error) {
            ModelDownload download(target(folder));
            QCOMPARE(attempt(download), "❌ 保存に失敗しました: " + error);
            QCOMPARE(files(folder), QStringList{});
            QCOMPARE(download.urlIndex(), 0);
            QVERIFY(logContains("モデルのダウンロードに失敗: " + error));
        };
        QDir().mkpath(folder + "/model.bin/taken");  // a folder holds the model's name
        check("Is a directory");
        QDir(folder + "/model.bin").removeRecursively();
        if (!run("mount -t tmpfs -o size=1m tmpfs " + folder))
            QSKIP("cannot mount a small file system here");
        const auto unmount = qScopeGuard([&] { run("umount " + folder); });
        check("No space left on device");
        run("mount -o remount,ro " + folder);
        check("Read-only file system");
    }

    // Quitting mid-download ends the transfer and leaves no partial file.
    void quitting()
    {
        server->setRoute("/a", Route{.block = file, .stallAt = half});
        {
            ModelDownload download(target(ModelSetup::modelsDir()));
            download.start(&bar, &status, &button);
            QTRY_COMPARE(status.text(), QStringLiteral("ダウンロード中… 2MB / 3MB（50%）"));
        }
        QCOMPARE(files(ModelSetup::modelsDir()), QStringList{});
    }
};

QTEST_MAIN(TestModelSetup)
#include "tst_ModelSetup.moc"
