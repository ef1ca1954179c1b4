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
    void speechHeader()
    {
        const QByteArray empty = AudioRecorder::wav({}, 16000, 1);
        QCOMPARE(empty.size(), 44);
        QCOMPARE(u32(empty, 4), 36u);
        QCOMPARE(u32(empty, 40), 0u);

        QByteArray samples(32000, Qt::Uninitialized);
        for (int i = 0; i < samples.size(); ++i)
            samples[i] = char(i * 7);
        const QByteArray wav = AudioRecorder::wav(samples, 16000, 1);
        QCOMPARE(wav.size(), 32044);
        QCOMPARE(wav.left(16), QByteArray("RIFF\x24\x7d\0\0WAVEfmt ", 16));
        QCOMPARE(u32(wav, 16), 16u);     // fmt chunk size
        QCOMPARE(u16(wav, 20), 1);       // integer PCM
        QCOMPARE(u16(wav, 22), 1);       // channels
        QCOMPARE(u32(wav, 24), 16000u);  // sample rate
        QCOMPARE(u32(wav, 28), 32000u);  // byte rate
        QCOMPARE(u16(wav, 32), 2);       // block alignment
        QCOMPARE(u16(wav, 34), 16);      // bits per sample
        QCOMPARE(wav.mid(36, 8), QByteArray("data\0\x7d\0\0", 8));
        QCOMPARE(wav.mid(44), samples);
    }

    void otherFormats()
    {
        const QByteArray wav = AudioRecorder::wav(QByteArray(7, 'x'), 44100, 2);
        QCOMPARE(u32(wav, 4), 43u);
        QCOMPARE(u16(wav, 22), 2);
        QCOMPARE(u32(wav, 24), 44100u);
        QCOMPARE(u32(wav, 28), 176400u);
        QCOMPARE(u16(wav, 32), 4);
        QCOMPARE(u32(wav, 40), 7u);
    }
};

QTEST_GUILESS_MAIN(WavTest)
#include "tst_wav.moc"
