// The live preview as a user sees it: the built Sayri in a real desktop
// session with the stand-in playing both servers (recognition on the port,
// preview on the next one), the preview model in place, Alt taps from the
// keyboard and speech played into the virtual microphone. While the user
// speaks the bar's grey text changes on screen; after the last tap the
// recognition server's text, not the preview's, is pasted.
#include "LogFile.h"
#include "PasteTarget.h"
#include "WhisperStandIn.h"
#include "XTestKeys.h"

#include "preview/PreviewModel.h"
#include "store/Config.h"
#include "ui/OverlayGeometry.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QtTest>

#include <csignal>

namespace G = OverlayGeometry;

namespace {

const QString finalText = QStringLiteral("今日は晴れです。明日も晴れるでしょう。");

// The bar's top-left corner on screen: Sayri's window "Sayri" of the bar's size.
std::optional<QPoint> barOrigin()
{
    QProcess p;
    p.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    p.waitForFinished(5000);
    // e.g.   0x1a00003 "Sayri": ("sayri" "Sayri")  400x116+440+588  +440+588
    const QRegularExpression re(
        QStringLiteral("\"Sayri\": \\(\"[^\"]*\" \"Sayri\"\\)\\s+%1x%2\\S*\\s+\\+(-?\\d+)\\+(-?\\d+)")
            .arg(G::barWidth)
            .arg(G::barHeight));
    const auto m = re.match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? std::optional(QPoint(m.captured(1).toInt(), m.captured(2).toInt())) : std::nullopt;
}

// The grey text's place on the bar, as the screen shows it now.
QImage liveArea(QPoint bar)
{
    const QRect r = G::liveFrame(G::barHeight).translated(bar);
    return QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
}

// The grey of the darkest pixel: 255 for an empty (white) area.
int darkest(const QImage& image)
{
    int grey = 255;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            grey = qMin(grey, qGray(image.pixel(x, y)));
    return grey;
}

}  // namespace

class TestLivePreviewX11 : public QObject {
    Q_OBJECT

    std::unique_ptr<WhisperStandIn> standIn;
    QProcess app;
    const QString speech = QDir::homePath() + QStringLiteral("/speech.wav");

    static void taps(XTestKeys& keys, int count)
    {
        for (int i = 0; i < count; ++i) {
            keys.down("Alt_L");
            QTest::qWait(60);
            keys.up("Alt_L");
            QTest::qWait(150);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        QCOMPARE(QProcess::execute(QStringLiteral("espeak-ng"), {"-v", "ja", "-w", speech, finalText}), 0);
        Config::bootstrap();
        standIn = std::make_unique<WhisperStandIn>();
        standIn->configure(WhisperStandIn::freePort());
        Config::save();
        QDir().mkpath(ModelSetup::modelsDir());
        QFile model(PreviewModel::path());  // sparse: the stand-in never reads it
        QVERIFY(model.open(QIODevice::WriteOnly) && model.resize(PreviewModel::genuine.size));
        QJsonArray preview;
        for (const char* text : {"今日", "今日は晴れ", "今日は晴れです。明日", "今日は晴れです。明日も"})
            preview << QJsonObject{{"text", text}};
        standIn->setScript({{"replies", QJsonArray{QJsonObject{{"text", finalText}}}}, {"previewReplies", preview}});

        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(SAYRI_APP_PATH), {QStringLiteral("--login-item")});
        QVERIFY(app.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logContains(QStringLiteral("キー監視を開始")), 10000);
        // The server answered: the ready message is on the bar now, not later
        // over the recording bar.
        QTRY_VERIFY_WITH_TIMEOUT(!standIn->requests().isEmpty(), 20000);
        QTest::qWait(300);
    }

    void cleanupTestCase()
    {
        if (app.state() != QProcess::NotRunning) {
            ::kill(pid_t(app.processId()), SIGTERM);
            app.waitForFinished(10000);
        }
    }

    void greyTextChangesWhileSpeakingAndTheFinalTextIsPasted()
    {
        PasteTarget target;
        QVERIFY(target.start());
        XTestKeys keys(XTestKeys::physicalKeyboard);
        taps(keys, 2);
        QTRY_VERIFY_WITH_TIMEOUT(logMessages().join(u'\n').contains(QStringLiteral("録音開始")), 5000);
        std::optional<QPoint> bar;
        QTRY_VERIFY_WITH_TIMEOUT((bar = barOrigin()).has_value(), 5000);

        QProcess speaking;
        speaking.start(QStringLiteral("paplay"), {QStringLiteral("--device=vsink"), speech});
        // Each different text the bar shows while the user speaks (and
        // after, while the preview catches up under load).
        QList<QImage> seen;
        QDeadlineTimer limit(20000);
        while ((speaking.state() != QProcess::NotRunning || seen.size() < 2) && !limit.hasExpired()) {
            const QImage now = liveArea(*bar);
            const int grey = darkest(now);
            if (grey < 255 && !seen.contains(now)) {
                QVERIFY2(grey > 120, "the provisional text is grey, not ink");
                seen << now;
            }
            QTest::qWait(100);
        }
        QVERIFY2(seen.size() >= 2, qPrintable(logMessages().join(u'\n')));
        taps(keys, 1);

        QTRY_COMPARE_WITH_TIMEOUT(target.text(), finalText, 15000);
        // The text to paste was asked of the recognition server alone.
        QStringList finals;
        for (const auto& r : standIn->inferenceRequests())
            if (!r.contents.contains(QStringLiteral("audio_ctx")))
                finals << r.header("host");
        QCOMPARE(finals, QStringList{QStringLiteral("127.0.0.1:%1").arg(Config::shared().whisperPort)});
    }
};

QTEST_MAIN(TestLivePreviewX11)
#include "tst_LivePreviewX11.moc"
