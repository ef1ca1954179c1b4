// The plain 44-byte RIFF/WAVE header around 16-bit PCM samples.
#include "audio/AudioRecorder.h"

#include <QtEndian>

QByteArray AudioRecorder::wav(const QByteArray& pcm16, int sampleRate, int channels)
{
    QByteArray out;
    out.reserve(44 + pcm16.size());
    auto u32 = [&out](quint32 v) {
        v = qToLittleEndian(v);
        out.append(reinterpret_cast<const char*>(&v), 4);
    };
    auto u16 = [&out](quint16 v) {
        v = qToLittleEndian(v);
        out.append(reinterpret_cast<const char*>(&v), 2);
    };
    const quint64 dataBytes = quint64(pcm16.size());
    out.append("RIFF", 4);
    u32(quint32(dataBytes + 36));
    out.append("WAVE", 4);
    out.append("fmt ", 4);
    u32(16);
    u16(1);  // integer PCM
    u16(quint16(channels));
    u32(quint32(sampleRate));
    u32(quint32(quint64(sampleRate) * quint64(channels) * 2));  // byte rate
    u16(quint16(channels * 2));                                 // block alignment
    u16(16);                                                    // bits per sample
    out.append("data", 4);
    u32(quint32(dataBytes));
    out.append(pcm16);
    return out;
}
