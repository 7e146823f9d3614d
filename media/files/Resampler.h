#pragma once

#include "core/Result.h"

#include <QtGlobal>

#include <memory>
#include <vector>

struct soxr;

// Changes the rate of interleaved 32-bit float frames, block by block (libsoxr, high quality),
// for encoders that take only some rates.
class Resampler
{
public:
    static Result<Resampler> create(int fromRate, int toRate, int channels);

    // The frames that come out of frames more in; some stay inside until the next block.
    const std::vector<float> &process(const float *in, qint64 frames);
    // The rest, once the input has ended.
    const std::vector<float> &finish();

private:
    struct Deleter
    {
        void operator()(soxr *resampler) const;
    };

    Resampler() = default;
    const std::vector<float> &run(const float *in, qint64 frames);

    std::unique_ptr<soxr, Deleter> m_soxr;
    double m_ratio = 1;
    int m_channels = 0;
    std::vector<float> m_out;
};
