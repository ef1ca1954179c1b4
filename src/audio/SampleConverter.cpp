#include "audio/SampleConverter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

namespace {

template <typename T> void average(const T* in, qsizetype frames, int channels, float scale, float offset, float* out)
{
    const float gain = scale / float(channels);
    for (qsizetype f = 0; f < frames; ++f) {
        float sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += float(in[c]) - offset;
        out[f] = sum * gain;
        in += channels;
    }
}

}  // namespace

SampleConverter::SampleConverter(const QAudioFormat& input) : input_(input)
{
    if (input.sampleRate() <= 0 || input.channelCount() <= 0)
        return;
    switch (input.sampleFormat()) {
    case QAudioFormat::UInt8:
    case QAudioFormat::Int16:
    case QAudioFormat::Int32:
    case QAudioFormat::Float:
        break;
    default:
        return;
    }
    if (input.sampleRate() != outputRate) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
        soxr_io_spec_t quiet = io;
        quiet.flags |= SOXR_NO_DITHER;  // silence stays exactly silent
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        soxr_ = soxr_create(input.sampleRate(), outputRate, 1, &error, &quiet, &quality, nullptr);
        if (error || !soxr_) {
            soxr_delete(soxr_);
            soxr_ = nullptr;
            return;
        }
    }
    valid_ = true;
}

SampleConverter::~SampleConverter()
{
    soxr_delete(soxr_);
}

void SampleConverter::mixDown(const void* data, qsizetype frames)
{
    if (qsizetype(mono_.size()) < frames)
        mono_.resize(frames);
    const int channels = input_.channelCount();
    switch (input_.sampleFormat()) {
    case QAudioFormat::UInt8:
        average(static_cast<const quint8*>(data), frames, channels, 1.0f / 128, 128, mono_.data());
        break;
    case QAudioFormat::Int16:
        average(static_cast<const qint16*>(data), frames, channels, 1.0f / 32768, 0, mono_.data());
        break;
    case QAudioFormat::Int32:
        average(static_cast<const qint32*>(data), frames, channels, 1.0f / 2147483648.0f, 0, mono_.data());
        break;
    case QAudioFormat::Float:
        average(static_cast<const float*>(data), frames, channels, 1.0f, 0, mono_.data());
        break;
    default:
        break;
    }
}

qsizetype SampleConverter::convert(const void* data, qsizetype frames, std::vector<qint16>& out)
{
    if (!valid_)
        return -1;
    if (frames <= 0)
        return 0;
    mixDown(data, frames);

    if (!soxr_) {
        if (qsizetype(out.size()) < frames)
            out.resize(frames);
        for (qsizetype i = 0; i < frames; ++i)
            out[i] = qint16(std::clamp(std::lrint(mono_[i] * 32768.0f), -32768L, 32767L));
        return frames;
    }

    // The input is offered once; the loop only collects output that did not
    // fit and input the resampler did not take in one go.
    size_t used = 0;
    size_t produced = 0;
    for (;;) {
        if (out.size() <= produced)
            out.resize(out.size() * 2 + 64);
        const size_t room = out.size() - produced;
        size_t taken = 0;
        size_t made = 0;
        if (soxr_process(soxr_, mono_.data() + used, size_t(frames) - used, &taken, out.data() + produced, room, &made))
            return -1;
        used += taken;
        produced += made;
        if (used >= size_t(frames) && made < room)
            break;
        if (taken == 0 && made == 0)
            break;
    }
    return qsizetype(produced);
}
