// Settings: bootstrap, strict decoding of "config.json", the broken-file copy,
// saving, and reads racing a write.
#include "TestDataFolder.h"

#include "store/Config.h"

#include <QtTest>

#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <thread>

namespace {

const char* validConfig = R"({
  "historyLimit": 100, "micDeviceUID": "", "triggerKeyId": "rightOption",
  "vadModelPath": "/m/vad.bin", "whisperBinary": "/b/whisper-server",
  "whisperModelPath": "/m/model.bin", "whisperPort": 9000 })";

}  // namespace

class TestConfig : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstStartCreatesTheDictionaryAndDefaults()
    {
        TestDataFolder data;
        Config::bootstrap();
        QCOMPARE(data.readText(QStringLiteral("dictionary.txt")), Config::defaultDictionary);
        const QByteArray bytes = data.readText(QStringLiteral("config.json")).toUtf8();
        const QJsonObject o = QJsonDocument::fromJson(bytes).object();
        QCOMPARE(o.keys(), (QStringList{"historyLimit", "micDeviceUID", "triggerKeyId", "vadModelPath", "whisperBinary",
                                        "whisperModelPath", "whisperPort"}));
        QCOMPARE(o.value("whisperPort").toInteger(), 8773);
        QCOMPARE(o.value("whisperModelPath").toString(), data.root() + "/.pomeru/models/ggml-large-v3-turbo-q5_0.bin");

        // Existing files are kept as they are, even an empty dictionary.
        data.writeText(QStringLiteral("dictionary.txt"), QString());
        Config::bootstrap();
        QCOMPARE(data.readText(QStringLiteral("dictionary.txt")), QString());
    }

    void decoding_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<bool>("loads");
        const QString base = QString::fromUtf8(validConfig);
        QTest::newRow("valid") << base << true;
        QTest::newRow("not JSON") << "{ historyLimit: 1" << false;
        QTest::newRow("array") << "[]" << false;
        QTest::newRow("port as string") << QString(base).replace("9000", "\"9000\"") << false;
        QTest::newRow("port 2^63") << QString(base).replace("9000", "9223372036854775808") << false;
        QTest::newRow("port int64 max") << QString(base).replace("9000", "9223372036854775807") << true;
        QTest::newRow("port fraction") << QString(base).replace("9000", "9000.5") << false;
        QTest::newRow("missing key") << QString(base).replace("\"historyLimit\": 100,", "") << false;
        QTest::newRow("null required") << QString(base).replace("\"\"", "null") << false;
        QTest::newRow("null optionals") << QString(base).replace(
            "}", ", \"overlayAnchor\": null, \"screenHintEnabled\": null}")
                                        << true;
        QTest::newRow("optional wrong type")
            << QString(base).replace("}", ", \"screenHintEnabled\": \"yes\"}") << false;
        QTest::newRow("unknown key") << QString(base).replace("}", ", \"colour\": \"blue\"}") << true;
    }

    void decoding()
    {
        QFETCH(QString, json);
        QFETCH(bool, loads);
        TestDataFolder data;
        data.writeText(QStringLiteral("config.json"), json);
        Config::bootstrap();
        const QStringList broken = QDir(data.path()).entryList({QStringLiteral("config.json.broken-*")}, QDir::Files);
        QCOMPARE(broken.size(), loads ? 0 : 1);
        if (loads) {
            QVERIFY(Config::shared().whisperPort == 9000 || Config::shared().whisperPort == 9223372036854775807LL);
            QCOMPARE(data.readText(QStringLiteral("config.json")), json);  // not rewritten
            QVERIFY(Config::shared().screenHintsOn());                     // null optionals read as unset
        } else {
            // The default file replaces it, and the broken one is kept beside it.
            QCOMPARE(Config::shared(), ConfigData{});
            QCOMPARE(data.readText(broken.first()), json);
        }
    }

    // Optionals are written only when set; a failed save loses nothing.
    void save()
    {
        TestDataFolder data;
        data.writeText(QStringLiteral("config.json"), QString(validConfig).replace("}", ", \"colour\": \"blue\"}"));
        Config::bootstrap();
        Config::edit([](ConfigData& c) {
            c.screenHintEnabled = false;
            c.overlayAnchor = QStringLiteral("760,96");
        });
        QVERIFY(Config::save());
        const QString saved = data.readText(QStringLiteral("config.json"));
        QCOMPARE(QJsonDocument::fromJson(saved.toUtf8()).object().size(), 9);  // the unknown key goes at the next save
        QCOMPARE(ConfigData::decode(saved.toUtf8()), Config::shared());

        // A full disk, played by a file-size limit: the old file stays whole.
        Config::edit([](ConfigData& c) { c.micDeviceUID = QString(200, u'm'); });
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit small{64, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        const bool savedAgain = Config::save();
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!savedAgain);
        QCOMPARE(data.readText(QStringLiteral("config.json")), saved);

        // A broken file that cannot be kept aside (its copy's names taken) is not replaced.
        data.writeText(QStringLiteral("config.json"), QStringLiteral("{ broken"));
        for (int s = 0; s < 5; ++s)
            QDir().mkpath(
                data.file("config.json.broken-" + QDateTime::currentDateTime().addSecs(s).toString("yyyyMMdd-HHmmss")));
        Config::bootstrap();
        QVERIFY(!Config::save());
        QCOMPARE(data.readText(QStringLiteral("config.json")), QStringLiteral("{ broken"));
    }

    void readsRaceAWrite()
    {
        TestDataFolder data;
        std::atomic<bool> stop{false};
        std::atomic<int> torn{0};
        std::thread reader([&] {
            while (!stop) {
                const ConfigData c = Config::shared();
                if (c.whisperBinary != QStringLiteral("/b/%1").arg(c.whisperPort) && c.whisperPort != 8773)
                    ++torn;
            }
        });
        for (int i = 0; i < 20000; ++i)
            Config::edit([i](ConfigData& c) {
                c.whisperPort = 10000 + i;
                c.whisperBinary = QStringLiteral("/b/%1").arg(10000 + i);
            });
        stop = true;
        reader.join();
        QCOMPARE(torn.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_Config.moc"
