// The model download against a local server: resuming, starting over,
// switching location, verifying, the full and the read-only disk, quitting.
#include "FileServer.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "provision/ModelDownload.h"

#include <QCryptographicHash>
#include <QDir>
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
const QString wrong = QStringLiteral("❌ 受け取ったデータが正しくありませんでした。安全のため取り消しました。もう一度ボタンを押すと、別の場所から取り寄せます");
const QString done = QStringLiteral("ダウンロード中… 3MB / 3MB（100%）");
const QString saveFailed = QStringLiteral("❌ 保存に失敗しました: ");

QByteArray randomBytes(quint32 seed)
{
    QByteArray b(fileSize, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(b.data()), b.size() / 4);
    return b;
}

bool run(const QStringList& args)
{
    return QProcess::execute(args.first(), args.mid(1)) == 0;
}

}  // namespace

class ModelDownloadTest : public QObject {
    Q_OBJECT

    const QByteArray file = randomBytes(1);
    std::unique_ptr<TestDataFolder> data;
    std::unique_ptr<FileServer> server;
    QProgressBar bar;
    QLabel status;
    QPushButton button;

    ModelDownload::Target target(const QString& folder)
    {
        return {folder, QStringLiteral("model.bin"),
                {fileSize, QString::fromLatin1(QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex().toUpper())},
                {server->url(QStringLiteral("/a")), server->url(QStringLiteral("/b"))}};
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
        return other.text().isEmpty() ? status.text() : QStringLiteral("second start not ignored");
    }

private Q_SLOTS:
    void init()
    {
        data.reset();  // the environment of the previous case is restored first
        data = std::make_unique<TestDataFolder>();
        QDir().mkpath(data->path());
        server = std::make_unique<FileServer>();
        server->setRoute(QStringLiteral("/b"), Route{file});
        server->setRoute(QStringLiteral("/c"), Route{.block = file, .drops = {half}});
    }

    void outcomes_data()
    {
        QTest::addColumn<Route>("a");
        QTest::addColumn<QStringList>("texts");     // the status after each attempt
        QTest::addColumn<QStringList>("requests");  // repeats of one request counted once
        QTest::addColumn<int>("urlIndex");
        QTest::addColumn<QString>("logLine");
        const QString h = QStringLiteral("/a bytes=N-");
        const QString installed = QStringLiteral("モデルのダウンロード完了（指紋照合OK）: ");
        QTest::newRow("whole") << Route{file} << QStringList{done} << QStringList{"/a"} << 0 << installed;
        QTest::newRow("dropped, resumed") << Route{.block = file, .drops = {half}}
            << QStringList{resumable, done} << QStringList{"/a", h} << 0 << installed;
        QTest::newRow("range ignored") << Route{.block = file, .ignoreRange = true, .drops = {half}}
            << QStringList{resumable, done} << QStringList{"/a", h} << 0 << installed;
        QTest::newRow("redirected, dropped, resumed") << Route{.redirect = "/c"} << QStringList{resumable, done}
            << QStringList{"/a", "/c", "/a bytes=N-", "/c bytes=N-"} << 0 << installed;
        QTest::newRow("file changed meanwhile") << Route{.block = file, .changingTag = true, .drops = {half}}
            << QStringList{resumable, done} << QStringList{"/a", h, "/a"} << 0 << installed;
        QTest::newRow("resume yields nothing") << Route{.block = file, .drops = {half, 0}}
            << QStringList{resumable, failed, done} << QStringList{"/a", h, "/b"} << 1 << installed;
        QTest::newRow("404") << Route{.block = "not here", .status = 404} << QStringList{failed, done} << QStringList{"/a", "/b"} << 1
            << QStringLiteral("モデルのダウンロードに失敗: HTTP 404・受信8バイト");
        QTest::newRow("too short") << Route{file.left(half)} << QStringList{failed, done} << QStringList{"/a", "/b"} << 1
            << QStringLiteral("モデルのダウンロードに失敗: HTTP 200・受信%1バイト").arg(half);
        QTest::newRow("wrong bytes") << Route{randomBytes(2)} << QStringList{wrong, done} << QStringList{"/a", "/b"} << 1
            << QStringLiteral("⚠️ モデルの指紋が一致しません（受け取ったものを破棄・別の置き場に切り替え）");
        QTest::newRow("too long") << Route{file + "x"} << QStringList{wrong, done} << QStringList{"/a", "/b"} << 1 << installed;
        QTest::newRow("no length") << Route{.block = file, .noLength = true} << QStringList{"ダウンロード中… 3MB"}
            << QStringList{"/a"} << 0 << installed;
        QTest::newRow("redirect") << Route{.redirect = "/b"} << QStringList{done} << QStringList{"/a", "/b"} << 0 << installed;
        QTest::newRow("redirect loop") << Route{.redirect = "/a"} << QStringList{failed, done} << QStringList{"/a", "/b"} << 1
            << installed;
    }
    void outcomes()
    {
        QFETCH(Route, a);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, requests);
        server->setRoute(QStringLiteral("/a"), a);
        const QString folder = ModelSetup::modelsDir();
        ModelDownload download(target(folder));
        QStringList seen;
        for (int i = 0; i < texts.size(); ++i) {
            seen << attempt(download);
            QCOMPARE(download.hasResumeData(), seen.last() == resumable);
            if (download.hasResumeData())  // resumes from the bytes on disk
                requests.replaceInStrings("bytes=N-", QStringLiteral("bytes=%1-").arg(QFileInfo(folder + "/model.bin.part").size()));
            QCOMPARE(button.text(), i + 1 < texts.size() ? QStringLiteral("もう一度ダウンロード") : button.text());
        }
        QCOMPARE(seen, texts);
        QStringList asked = server->requests();
        asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
        QCOMPARE(asked, requests);
        QTEST(download.urlIndex(), "urlIndex");
        QFETCH(QString, logLine);
        QVERIFY2(logMessages().contains(logLine) || logContains(logLine + folder + "/model.bin"), qPrintable(logMessages().join('\n')));
        QFile model(folder + "/model.bin");
        QVERIFY(model.open(QIODevice::ReadOnly));
        QVERIFY(model.readAll() == file);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"model.bin"});
        QCOMPARE(bar.value(), texts.last() == done ? bar.maximum() : 0);
    }

    // A full disk and a read-only folder: the save failure, and nothing left.
    void diskFaults()
    {
        const QString folder = data->root() + "/small";
        QDir().mkpath(folder);
        if (!run({"mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", folder}))
            QSKIP("cannot mount a small file system here");
        const auto unmount = qScopeGuard([&] { run({"umount", folder}); });
        server->setRoute(QStringLiteral("/a"), Route{file});
        for (const QString& error : {QStringLiteral("No space left on device"), QStringLiteral("Read-only file system")}) {
            ModelDownload download(target(folder));
            QCOMPARE(attempt(download), saveFailed + error);
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{});
            QCOMPARE(download.urlIndex(), 0);
            QVERIFY(logContains("モデルのダウンロードに失敗: " + error));
            run({"mount", "-o", "remount,ro", folder});
        }
    }

    // Quitting mid-download ends the transfer and leaves no partial file.
    void quitting()
    {
        server->setRoute(QStringLiteral("/a"), Route{.block = file, .stallAt = half});
        const QString folder = ModelSetup::modelsDir();
        {
            ModelDownload download(target(folder));
            download.start(&bar, &status, &button);
            QTRY_COMPARE(status.text(), QStringLiteral("ダウンロード中… %1MB / 3MB（%2%）").arg(qRound(half / 1048576.0)).arg(qRound(half * 100.0 / fileSize)));
            QVERIFY(download.running());
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{});
    }
};

QTEST_MAIN(ModelDownloadTest)
#include "tst_ModelDownload.moc"
