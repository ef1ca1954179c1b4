// The recording bar's geometry: anchors, placement and clamping on one or two
// screens, message widths, label widths and the level dot's scale.
#include "ui/OverlayGeometry.h"

#include <QtTest>

#include <cmath>

namespace G = OverlayGeometry;

namespace {

// A 1280 × 800 screen with a 30-point panel at the top, and a second
// 1920 × 1080 screen to its right whose dock takes 40 points at the bottom.
const G::ScreenArea left{QRect(0, 0, 1280, 800), QRect(0, 30, 1280, 770)};
const G::ScreenArea right{QRect(1280, 0, 1920, 1080), QRect(1280, 0, 1920, 1040)};
const QList<G::ScreenArea> both{left, right};
const QSize bar(400, 116);

QRect placed(const std::optional<QString>& anchor, QSize size = bar)
{
    const auto frame = G::place(size, anchor, both, left);
    return frame.value_or(QRect());
}

}  // namespace

class OverlayGeometryTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void anchors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QPointF>("point");
        QTest::newRow("two integers") << "760,96" << true << QPointF(760, 96);
        QTest::newRow("three numbers") << "1,2,3" << false << QPointF();
        QTest::newRow("letters") << "a,b" << false << QPointF();
        QTest::newRow("empty") << "" << false << QPointF();
        QTest::newRow("one number") << "760" << false << QPointF();
        QTest::newRow("empty pieces dropped") << ",760,,96," << true << QPointF(760, 96);
        QTest::newRow("one letter among three") << "1,x,3" << true << QPointF(1, 3);
        QTest::newRow("decimals and negatives") << "-12.5,3e2" << true << QPointF(-12.5, 300);
        QTest::newRow("not a finite number") << "inf,2" << false << QPointF();
    }
    void anchors()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QPointF, point);
        const auto parsed = G::parseAnchor(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(*parsed, point);
        QVERIFY(!G::parseAnchor(std::nullopt));
    }

    void anchorOfAFrameIsCentreAndBottomTruncated()
    {
        QCOMPARE(G::anchorOf(QRect(560, 538, 400, 116)), QStringLiteral("760,654"));
        QCOMPARE(G::anchorOf(QRect(0, 0, 401, 117)), QStringLiteral("200,117"));
        // Towards zero on a screen left of the main one.
        QCOMPARE(G::anchorOf(QRect(-1001, -50, 401, 20)), QStringLiteral("-800,-30"));
        // What is written is read back to the same place.
        const QRect frame(300, 200, 400, 116);
        QCOMPARE(placed(G::anchorOf(frame)), frame);
    }

    void defaultPlaceIsCentredAboveTheBottom()
    {
        // Centred on the main screen's visible area, bottom edge 96 above its bottom.
        QCOMPARE(placed(std::nullopt), QRect(440, 800 - 96 - 116, 400, 116));
        QCOMPARE(placed(QStringLiteral("a,b")), placed(std::nullopt));
        QCOMPARE(placed(QStringLiteral("1,2,3")), placed(std::nullopt));
        QVERIFY(!G::place(bar, std::nullopt, {}, std::nullopt));
        QVERIFY(!G::place(bar, QStringLiteral("760,96"), {}, std::nullopt));
    }

    void anchorIsTheBottomCentre()
    {
        QCOMPARE(placed(QStringLiteral("760,500")), QRect(560, 384, 400, 116));
        // On the second screen its own visible area counts.
        QCOMPARE(placed(QStringLiteral("2000,700")), QRect(1800, 584, 400, 116));
    }

    void clampedEightInsideEachEdge_data()
    {
        QTest::addColumn<QString>("anchor");
        QTest::addColumn<QRect>("frame");
        QTest::newRow("left") << "10,500" << QRect(8, 384, 400, 116);
        QTest::newRow("right") << "1275,500" << QRect(1280 - 400 - 8, 384, 400, 116);
        QTest::newRow("top, below the panel") << "600,40" << QRect(400, 30 + 8, 400, 116);
        QTest::newRow("bottom") << "600,799" << QRect(400, 800 - 8 - 116, 400, 116);
        QTest::newRow("second screen's dock") << "3000,1070" << QRect(3200 - 400 - 8, 1040 - 8 - 116, 400, 116);
        QTest::newRow("second screen's left edge") << "1290,500" << QRect(1280 + 8, 384, 400, 116);
        // Outside every screen: kept inside the main screen.
        QTest::newRow("off every screen") << "-5000,-5000" << QRect(8, 38, 400, 116);
        QTest::newRow("below every screen") << "5000,5000" << QRect(1280 - 408, 800 - 8 - 116, 400, 116);
    }
    void clampedEightInsideEachEdge()
    {
        QFETCH(QString, anchor);
        QFETCH(QRect, frame);
        QCOMPARE(placed(anchor), frame);
    }

    void tooLargeForTheScreenKeepsTheRightAndTopEdgesInside()
    {
        const G::ScreenArea small{QRect(0, 0, 300, 100), QRect(0, 0, 300, 100)};
        const auto frame = G::place(QSize(400, 116), std::nullopt, {small}, small);
        QVERIFY(frame);
        QCOMPARE(frame->right() + 1, 300 - 8);
        QCOMPARE(frame->top(), 8);
    }

    void messageWidths()
    {
        QCOMPARE(G::messageWidth(QSizeF(100, 17)), 154);
        QCOMPARE(G::messageWidth(QSizeF(100.2, 17)), 155);
        QCOMPARE(G::messageWidth(QSizeF(706, 17)), 760);
        QCOMPARE(G::messageWidth(QSizeF(5000, 17)), 760);
        QCOMPARE(G::messageWidth(QSizeF(0, 0)), 54);
    }

    void labelWidthsShareTheRow()
    {
        // Both fit.
        QCOMPARE(G::labelWidths(80, 60).target, 80);
        QCOMPARE(G::labelWidths(80, 60).mic, 60);
        // A long microphone name stops at 170; the target gets 244 − 170.
        QCOMPARE(G::labelWidths(300, 400).mic, 170);
        QCOMPARE(G::labelWidths(300, 400).target, 74);
        // A short microphone leaves the target more room.
        QCOMPARE(G::labelWidths(300, 40).target, 204);
        // The microphone label ends 8 points left of the cancel button.
        for (int w : {20, 100, 170})
            QCOMPARE(G::micFrame(116, w).right() + 1, G::cancelFrame(116).left() - 8);
    }

    void levelScales()
    {
        QCOMPARE(G::levelScale(0.25f), 1.6);
        QCOMPARE(G::levelScale(0.0f), 1.0);
        QCOMPARE(G::levelScale(-0.3f), 1.0);
        QCOMPARE(G::levelScale(0.5f), 2.2);
        QCOMPARE(G::levelScale(3.0f), 2.2);
        QCOMPARE(G::levelScale(std::nanf("")), 1.0);
    }

    void barFramesFromTheTop()
    {
        // Without the notice the controls row sits at the bottom and the live
        // text above it; the notice adds 20 points at the top.
        QCOMPARE(G::dotFrame(116), QRect(22, 85, 14, 14));
        QCOMPARE(G::cancelFrame(116), QRect(322, 79, 26, 26));
        QCOMPARE(G::stopFrame(116), QRect(356, 79, 26, 26));
        QCOMPARE(G::liveFrame(116), QRect(22, 10, 356, 60));
        QCOMPARE(G::targetFrame(116, 100), QRect(58, 83, 100, 18));
        QCOMPARE(G::dotFrame(136), QRect(22, 105, 14, 14));
        QCOMPARE(G::liveFrame(136), QRect(22, 30, 356, 60));
        QCOMPARE(G::updateFrame(136), QRect(22, 9, 356, 15));
        QVERIFY(!G::updateFrame(136).intersects(G::liveFrame(136)));
    }
};

QTEST_GUILESS_MAIN(OverlayGeometryTest)
#include "tst_OverlayGeometry.moc"
