// The 44-byte RIFF/WAVE header around 16-bit samples.
#include "audio/AudioRecorder.h"

#include <QtTest>

class WavTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void header_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QByteArray>("header");
        // "RIFF" size "WAVEfmt " 16 PCM channels rate byte-rate align 16-bit "data" size
        QTest::newRow("empty") << 16000 << 1 << 0 << QByteArray(
            "524946462400000057415645666d74201000000001000100803e0000007d0000020010006461746100000000");
        QTest::newRow("one second of speech") << 16000 << 1 << 32000 << QByteArray(
            "52494646247d000057415645666d74201000000001000100803e0000007d00000200100064617461007d0000");
        QTest::newRow("stereo, odd length") << 44100 << 2 << 7 << QByteArray(
            "524946462b00000057415645666d7420100000000100020044ac000010b10200040010006461746107000000");
    }
    void header()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, bytes);
        QFETCH(QByteArray, header);
        QByteArray samples(bytes, Qt::Uninitialized);
        for (int i = 0; i < bytes; ++i)
            samples[i] = char(i * 7);
        const QByteArray wav = AudioRecorder::wav(samples, rate, channels);
        QCOMPARE(wav.left(44).toHex(), header);
        QCOMPARE(wav.mid(44), samples);
    }
};

QTEST_GUILESS_MAIN(WavTest)
#include "tst_wav.moc"
