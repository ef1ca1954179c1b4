#include "audio/AudioRecorder.h"

#include <QtEndian>

QByteArray AudioRecorder::wav(const QByteArray& pcm16, int sampleRate, int channels)
{
    QByteArray out;
    out.reserve(44 + pcm16.size());
    auto u32 = [&out](quint32 v) { v = qToLittleEndian(v); out.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&out](quint16 v) { v = qToLittleEndian(v); out.append(reinterpret_cast<const char*>(&v), 2); };
    out.append("RIFF", 4);
    u32(quint32(36 + pcm16.size()));
    out.append("WAVE", 4);
    out.append("fmt ", 4);
    u32(16);
    u16(1);
    u16(quint16(channels));
    u32(quint32(sampleRate));
    u32(quint32(sampleRate * channels * 2));
    u16(quint16(channels * 2));
    u16(16);
    out.append("data", 4);
    u32(quint32(pcm16.size()));
    out.append(pcm16);
    return out;
}
