// The live preview as a user sees it: the built Sayri in a real desktop
// session, the stand-in playing both servers (recognition on the port, preview
// on the next), the preview model in place, Alt taps from the keyboard and
// speech in the virtual microphone. While the user speaks the bar's grey text
// changes on screen; after the last tap the recognition server's text is pasted.
#include "DesktopProbe.h"
#include "LogFile.h"
#include "RunningSayri.h"

#include "preview/PreviewModel.h"
#include "store/Config.h"
#include "ui/OverlayGeometry.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QScreen>
#include <QtTest>

namespace G = OverlayGeometry;

namespace {

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
        RunningSayri sayri;
        QDir().mkpath(ModelSetup::modelsDir());
        QFile model(PreviewModel::path());  // sparse: the stand-in never reads it
        QVERIFY(model.open(QIODevice::WriteOnly) && model.resize(PreviewModel::genuine.size));
        QJsonArray preview;
        for (const char* text : {"今日", "今日は晴れ", "今日は晴れです。明日", "今日は晴れです。明日も"})
            preview << QJsonObject{{"text", text}};
        sayri.standIn.setScript(
            {{"replies", QJsonArray{QJsonObject{{"text", RunningSayri::spoken}}}}, {"previewReplies", preview}});
        QVERIFY(sayri.startListening());
        PasteTarget target;
        QVERIFY(target.start());
        sayri.taps(2);
        std::optional<QRect> bar;
        QTRY_VERIFY_WITH_TIMEOUT(
            (bar = DesktopProbe::windowOfSize(QStringLiteral("Sayri"), QSize(G::barWidth, G::barHeight)))
                && sayri.recordings() > 0,
            5000);

        QProcess speaking;
        speaking.start(QStringLiteral("paplay"), {QStringLiteral("--device=vsink"), sayri.speechFile()});
        // Each different text the bar shows while the user speaks (and after,
        // while the preview catches up under load).
        QList<QImage> seen;
        for (QDeadlineTimer limit(20000);
             (speaking.state() == QProcess::Running || seen.size() < 2) && !limit.hasExpired(); QTest::qWait(100)) {
            const QRect r = G::liveFrame(G::barHeight).translated(bar->topLeft());
            const QImage now =
                QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
            if (const int grey = darkest(now); grey < 255 && !seen.contains(now)) {
                QVERIFY2(grey > 120, "the provisional text is grey, not ink");
                seen << now;
            }
        }
        QVERIFY2(seen.size() >= 2, qPrintable(logMessages().join(u'\n')));
        sayri.taps(1);

        QTRY_COMPARE_WITH_TIMEOUT(target.text(), RunningSayri::spoken, 15000);
        // The text to paste was asked of the recognition server alone.
        QStringList finals;
        for (const auto& r : sayri.standIn.inferenceRequests())
            if (!r.contents.contains(QStringLiteral("audio_ctx")))
                finals << r.header("host");
        QCOMPARE(finals, QStringList{QStringLiteral("127.0.0.1:%1").arg(Config::shared().whisperPort)});
    }
};

QTEST_MAIN(TestLivePreviewX11)
#include "tst_LivePreviewX11.moc"
