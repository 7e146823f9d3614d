#include "media/files/Resampler.h"

#include "media/MediaLog.h"

#include <soxr.h>

#include <cmath>

void Resampler::Deleter::operator()(soxr *resampler) const
{
    soxr_delete(resampler);
}

Result<Resampler> Resampler::create(int fromRate, int toRate, int channels)
{
    Resampler resampler;
    soxr_error_t error = nullptr;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    resampler.m_soxr.reset(
            soxr_create(fromRate, toRate, unsigned(channels), &error, nullptr, &quality, nullptr));
    if (!resampler.m_soxr || error) {
        qCWarning(lcMedia) << "the resampler did not start:" << soxr_strerror(error);
        return Failure(QStringLiteral(u"无法转换采样率"));
    }
    resampler.m_ratio = double(toRate) / fromRate;
    resampler.m_channels = channels;
    return resampler;
}

const std::vector<float> &Resampler::process(const float *in, qint64 frames)
{
    return run(in, frames);
}

const std::vector<float> &Resampler::finish()
{
    return run(nullptr, 0);
}

const std::vector<float> &Resampler::run(const float *in, qint64 frames)
{
    m_out.clear();
    // room for the block and for what the filter still holds
    const std::size_t room = std::size_t(std::ceil(double(frames) * m_ratio)) + 4096;
    std::vector<float> block(room * std::size_t(m_channels));
    std::size_t used = 0;
    for (;;) {
        std::size_t taken = 0;
        std::size_t made = 0;
        if (soxr_process(m_soxr.get(),
                         in ? in + used * std::size_t(m_channels) : nullptr,
                         std::size_t(frames) - used,
                         &taken,
                         block.data(),
                         room,
                         &made)
            != nullptr)
            break;
        used += taken;
        if (taken == 0 && made == 0 && in)
            break; // nothing moves: leave the rest rather than spin
        m_out.insert(m_out.end(), block.begin(), block.begin() + qsizetype(made) * m_channels);
        // the input is all taken, and at its end the filter is empty
        if (in ? used >= std::size_t(frames) : made == 0)
            break;
    }
    return m_out;
}
