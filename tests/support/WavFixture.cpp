#include "WavFixture.h"

#include <QFile>

#include <sndfile.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

struct Closer
{
    void operator()(SNDFILE *file) const { sf_close(file); }
};
using Handle = std::unique_ptr<SNDFILE, Closer>;

} // namespace

qint64 WavFixture::Samples::frames() const
{
    if (channels <= 0)
        return 0;
    return qint64(isFloating(format) ? doubles.size() : ints.size()) / channels;
}

bool WavFixture::isFloating(int format)
{
    const int encoding = format & SF_FORMAT_SUBMASK;
    return encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE;
}

WavFixture::Samples WavFixture::signal(int format, int sampleRate, int channels, qint64 frames)
{
    Samples s;
    s.sampleRate = sampleRate;
    s.channels = channels;
    s.format = format;
    std::mt19937 noise(1234);
    std::uniform_real_distribution<double> jitter(-0.05, 0.05);
    for (qint64 i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double t = double(i) / sampleRate;
            double v = 0.8 * std::sin(2 * M_PI * (220.0 * (c + 1) + 200 * t) * t) + jitter(noise);
            v = std::clamp(v, -1.0, 1.0);
            if (isFloating(format))
                s.doubles.push_back(v);
            else
                s.ints.push_back(int(std::lround(v * 2147483000.0)));
        }
    }
    return s;
}

bool WavFixture::write(const QString &path, const Samples &samples)
{
    SF_INFO info{};
    info.samplerate = samples.sampleRate;
    info.channels = samples.channels;
    info.format = samples.format;
    Handle file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    if (!file)
        return false;
    const sf_count_t frames = samples.frames();
    const sf_count_t written = isFloating(samples.format)
                                       ? sf_writef_double(file.get(),
                                                          samples.doubles.data(),
                                                          frames)
                                       : sf_writef_int(file.get(), samples.ints.data(), frames);
    return written == frames;
}

WavFixture::Samples WavFixture::read(const QString &path)
{
    Samples s;
    SF_INFO info{};
    Handle file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file)
        return s;
    s.sampleRate = info.samplerate;
    s.channels = info.channels;
    s.format = info.format;
    const std::size_t count = std::size_t(info.frames * info.channels);
    if (isFloating(info.format)) {
        s.doubles.resize(count);
        s.doubles.resize(std::size_t(sf_readf_double(file.get(), s.doubles.data(), info.frames)
                                     * info.channels));
    } else {
        s.ints.resize(count);
        s.ints.resize(
                std::size_t(sf_readf_int(file.get(), s.ints.data(), info.frames) * info.channels));
    }
    return s;
}

WavFixture::Samples WavFixture::slice(const Samples &samples, qint64 from, qint64 to)
{
    Samples s = samples;
    const auto a = std::size_t(from * samples.channels);
    const auto b = std::size_t(to * samples.channels);
    if (isFloating(samples.format))
        s.doubles.assign(samples.doubles.begin() + a, samples.doubles.begin() + b);
    else
        s.ints.assign(samples.ints.begin() + a, samples.ints.begin() + b);
    return s;
}

void WavFixture::append(Samples &to, const Samples &from)
{
    to.ints.insert(to.ints.end(), from.ints.begin(), from.ints.end());
    to.doubles.insert(to.doubles.end(), from.doubles.begin(), from.doubles.end());
}
