// The live preview as a user sees it: the built Sayri in a real desktop
// session, the stand-in playing both servers (recognition on the port, preview
// on the next), the preview model in place, Alt taps from the keyboard and
// speech in the virtual microphone. While the user speaks the bar's grey text
// changes on screen; after the last tap the recognition server's text is pasted.
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
    const auto m =
        QRegularExpression(QStringLiteral("\"Sayri\": \\(\"\\w+\" \"Sayri\"\\)\\s+%1x%2\\S*\\s+\\+(\\d+)\\+(\\d+)")
                               .arg(G::barWidth)
                               .arg(G::barHeight))
            .match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? std::optional(QPoint(m.captured(1).toInt(), m.captured(2).toInt())) : std::nullopt;
}

// The grey of the darkest pixel: 255 where nothing is drawn.
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
private Q_SLOTS:
    void greyTextChangesWhileSpeakingAndTheFinalTextIsPasted()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        const QString speech = QDir::homePath() + QStringLiteral("/speech.wav");
        QCOMPARE(QProcess::execute(QStringLiteral("espeak-ng"), {"-v", "ja", "-w", speech, finalText}), 0);
        Config::bootstrap();
        WhisperStandIn standIn;
        standIn.configure(WhisperStandIn::freePort());
        Config::save();
        QDir().mkpath(ModelSetup::modelsDir());
        QFile model(PreviewModel::path());  // sparse: the stand-in never reads it
        QVERIFY(model.open(QIODevice::WriteOnly) && model.resize(PreviewModel::genuine.size));
        QJsonArray preview;
        for (const char* text : {"今日", "今日は晴れ", "今日は晴れです。明日", "今日は晴れです。明日も"})
            preview << QJsonObject{{"text", text}};
        standIn.setScript({{"replies", QJsonArray{QJsonObject{{"text", finalText}}}}, {"previewReplies", preview}});

        QProcess app;
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(SAYRI_APP_PATH), {QStringLiteral("--login-item")});
        const auto quit = qScopeGuard([&app] {
            ::kill(pid_t(app.processId()), SIGTERM);
            app.waitForFinished(10000);
        });
        // Once the server answers, the ready message has come and gone over to the bar.
        QTRY_VERIFY_WITH_TIMEOUT(!standIn.requests().isEmpty(), 20000);
        QTest::qWait(300);
        PasteTarget target;
        QVERIFY(target.start());
        XTestKeys keys(XTestKeys::physicalKeyboard);
        const auto tap = [&keys] {
            keys.tap("Alt_L");
            QTest::qWait(150);
        };
        tap();
        tap();
        std::optional<QPoint> bar;
        QTRY_VERIFY_WITH_TIMEOUT((bar = barOrigin()) && logMessages().join(u'\n').contains("録音開始"), 5000);

        QProcess speaking;
        speaking.start(QStringLiteral("paplay"), {QStringLiteral("--device=vsink"), speech});
        // Each different text the bar shows while the user speaks (and after,
        // while the preview catches up under load).
        QList<QImage> seen;
        for (QDeadlineTimer limit(20000);
             (speaking.state() == QProcess::Running || seen.size() < 2) && !limit.hasExpired(); QTest::qWait(100)) {
            const QRect r = G::liveFrame(G::barHeight).translated(*bar);
            const QImage now =
                QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
            if (const int grey = darkest(now); grey < 255 && !seen.contains(now)) {
                QVERIFY2(grey > 120, "the provisional text is grey, not ink");
                seen << now;
            }
        }
        QVERIFY2(seen.size() >= 2, qPrintable(logMessages().join(u'\n')));
        tap();

        QTRY_COMPARE_WITH_TIMEOUT(target.text(), finalText, 15000);
        // The text to paste was asked of the recognition server alone.
        QStringList finals;
        for (const auto& r : standIn.inferenceRequests())
            if (!r.contents.contains(QStringLiteral("audio_ctx")))
                finals << r.header("host");
        QCOMPARE(finals, QStringList{QStringLiteral("127.0.0.1:%1").arg(Config::shared().whisperPort)});
    }
};

QTEST_MAIN(TestLivePreviewX11)
#include "tst_LivePreviewX11.moc"
