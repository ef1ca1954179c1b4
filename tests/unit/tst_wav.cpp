// The 44-byte RIFF/WAVE header around 16-bit samples.
#include "audio/AudioRecorder.h"

#include <QtEndian>
#include <QtTest>

namespace {

quint32 u32(const QByteArray& b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }
quint16 u16(const QByteArray& b, int at) { return qFromLittleEndian<quint16>(b.constData() + at); }

}  // namespace

class WavTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void header_data()
    {
        QTest::addColumn<int>("sampleBytes");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("channels");
        QTest::newRow("no samples") << 0 << 16000 << 1;
        QTest::newRow("one second of speech") << 32000 << 16000 << 1;
        QTest::newRow("stereo 44.1 kHz") << 7 << 44100 << 2;
    }
    void header()
    {
        QFETCH(int, sampleBytes);
        QFETCH(int, sampleRate);
        QFETCH(int, channels);
        QByteArray samples(sampleBytes, Qt::Uninitialized);
        for (int i = 0; i < sampleBytes; ++i)
            samples[i] = char(i * 7);

        const QByteArray wav = AudioRecorder::wav(samples, sampleRate, channels);
        QCOMPARE(wav.size(), 44 + sampleBytes);
        QCOMPARE(wav.left(4), QByteArray("RIFF"));
        QCOMPARE(u32(wav, 4), quint32(sampleBytes + 36));
        QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(u32(wav, 16), 16u);
        QCOMPARE(u16(wav, 20), 1);
        QCOMPARE(u16(wav, 22), channels);
        QCOMPARE(u32(wav, 24), quint32(sampleRate));
        QCOMPARE(u32(wav, 28), quint32(sampleRate * channels * 2));
        QCOMPARE(u16(wav, 32), channels * 2);
        QCOMPARE(u16(wav, 34), 16);
        QCOMPARE(wav.mid(36, 4), QByteArray("data"));
        QCOMPARE(u32(wav, 40), quint32(sampleBytes));
        QCOMPARE(wav.mid(44), samples);
    }

    void speechFormatValues()
    {
        const QByteArray wav = AudioRecorder::wav(QByteArray(32000, '\0'), 16000, 1);
        QCOMPARE(wav.size(), 32044);
        QCOMPARE(u32(wav, 4), 32036u);
        QCOMPARE(u32(wav, 28), 32000u);
        QCOMPARE(u16(wav, 32), 2);
    }
};

QTEST_GUILESS_MAIN(WavTest)
#include "tst_wav.moc"
