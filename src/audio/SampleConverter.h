#pragma once

#include <QAudioFormat>

#include <vector>

struct soxr;

// Converts captured buffers of one input format (any rate, any channel count,
// unsigned 8-bit, signed 16/32-bit or float samples) to 16 kHz mono signed
// 16-bit samples. Channels are averaged; the rate is converted with libsoxr,
// which keeps its filter state from buffer to buffer, so one converter serves
// a whole stream of that format.
class SampleConverter {
public:
    static constexpr int outputRate = 16000;

    explicit SampleConverter(const QAudioFormat& input);
    ~SampleConverter();
    SampleConverter(const SampleConverter&) = delete;
    SampleConverter& operator=(const SampleConverter&) = delete;

    bool isValid() const { return valid_; }
    const QAudioFormat& input() const { return input_; }

    // Converts `frames` frames at `data` into `out` from its start, growing it
    // when it is too small. Returns the number of samples produced, or -1 when
    // the conversion failed.
    qsizetype convert(const void* data, qsizetype frames, std::vector<qint16>& out);

private:
    void mixDown(const void* data, qsizetype frames);

    QAudioFormat input_;
    bool valid_ = false;
    soxr* soxr_ = nullptr;     // none when the input is already at 16 kHz
    std::vector<float> mono_;  // reused from buffer to buffer
};
