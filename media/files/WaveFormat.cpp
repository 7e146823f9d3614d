#include "media/files/WaveFormat.h"

#include <sndfile.h>

WaveFormat::WaveFormat(int sampleRate, int channels, int sndfileFormat)
    : m_sampleRate(sampleRate)
    , m_channels(channels)
    , m_sndfileFormat(sndfileFormat)
{}

WaveFormat WaveFormat::newRecording()
{
    return WaveFormat(44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

int WaveFormat::encoding() const
{
    return m_sndfileFormat & SF_FORMAT_SUBMASK;
}

SampleType WaveFormat::sampleType() const
{
    switch (encoding()) {
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
        return SampleType::Int32;
    case SF_FORMAT_FLOAT:
        return SampleType::Float;
    case SF_FORMAT_DOUBLE:
        return SampleType::Double;
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
        // lossy decoders overshoot full scale now and then: floats keep what they give
        return SampleType::Float;
    default:
        // 8-bit, 16-bit, companded and ADPCM encodings all decode to 16 bits, as does 16-bit FLAC
        return SampleType::Int16;
    }
}

int WaveFormat::bytesPerSample() const
{
    switch (sampleType()) {
    case SampleType::Int16:
        return 2;
    case SampleType::Int32:
    case SampleType::Float:
        return 4;
    case SampleType::Double:
        return 8;
    }
    return 2;
}

AudioFormat WaveFormat::audioFormat() const
{
    AudioFormat format;
    format.setSampleRate(m_sampleRate);
    format.setChannelCount(m_channels);
    switch (sampleType()) {
    case SampleType::Int16:
        format.setSampleFormat(AudioFormat::Int16);
        break;
    case SampleType::Int32:
        format.setSampleFormat(AudioFormat::Int32);
        break;
    case SampleType::Float:
    case SampleType::Double:
        format.setSampleFormat(AudioFormat::Float);
        break;
    }
    return format;
}

qint64 WaveFormat::framesToMs(qint64 frames) const
{
    if (m_sampleRate <= 0)
        return 0;
    // split to stay clear of overflow on very long recordings
    return frames / m_sampleRate * 1000 + frames % m_sampleRate * 1000 / m_sampleRate;
}

qint64 WaveFormat::usToFrames(qint64 us) const
{
    // rounded up: a clock in whole microseconds lags by up to one, which is more than half a
    // frame above 500 kHz, and the frame it lags into has been reached
    return us / 1000000 * m_sampleRate + (us % 1000000 * m_sampleRate + 999999) / 1000000;
}

qint64 WaveFormat::encodedBytes(qint64 frames) const
{
    int bytes = 2;
    switch (encoding()) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        bytes = 1;
        break;
    case SF_FORMAT_PCM_24:
        bytes = 3;
        break;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        bytes = 4;
        break;
    case SF_FORMAT_DOUBLE:
        bytes = 8;
        break;
    default:
        break;
    }
    return frames * m_channels * bytes;
}
