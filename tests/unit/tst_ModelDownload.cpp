// The model download against a local server: resuming, starting over,
// switching location, verifying, failing to save, quitting.
#include "FileServer.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "provision/ModelDownload.h"

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

bool run(const QString& args)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), args}) == 0;
}

}  // namespace

class TestModelDownload : public QObject {
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

QTEST_MAIN(TestModelDownload)
#include "tst_ModelDownload.moc"
