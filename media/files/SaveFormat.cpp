#include "media/files/SaveFormat.h"

#include <QFileInfo>

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <iterator>

namespace {

// The rates an MPEG audio stream can have.
constexpr int mpegRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
// Far past hearing; the FLAC and Vorbis encoders refuse the highest rates a WAV may have.
constexpr int maxCompressedRate = 192000;
// Opus: 48 kbit/s a channel, 96 for stereo. libsndfile sets the target bitrate from the
// compression level c as ((1 - c) * 250000 + 6000) bit/s a channel.
constexpr double opusBitsPerChannel = 48000;
// MP3: LAME's VBR quality 2 (about 190 kbit/s on music); Vorbis: quality 5 (about 160).
constexpr double mp3Level = 0.2;
constexpr double vorbisLevel = 0.5;

} // namespace

const SaveFormat &SaveFormat::forPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    for (const SaveFormat &format : all()) {
        if (suffix.compare(QLatin1String(format.m_extension), Qt::CaseInsensitive) == 0)
            return format;
    }
    return all()[Wave];
}

int SaveFormat::fileFormat(const WaveFormat &source) const
{
    const int container = source.sndfileFormat() & SF_FORMAT_TYPEMASK;
    const bool decoded = container == SF_FORMAT_FLAC || container == SF_FORMAT_OGG
                         || container == SF_FORMAT_MPEG;
    const int pcm = source.sampleType() == SampleType::Int32 ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16;
    switch (m_kind) {
    case Wave:
        // a WAV source keeps its encoding; a lossy one was 16-bit before it was encoded
        return decoded ? SF_FORMAT_WAV | pcm : source.sndfileFormat();
    case Flac:
        return SF_FORMAT_FLAC | pcm;
    case Mp3:
        return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    case Vorbis:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case Opus:
        return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    }
    return source.sndfileFormat();
}

int SaveFormat::sampleRate(int sourceRate) const
{
    switch (m_kind) {
    case Wave:
        return sourceRate;
    case Opus:
        return 48000;
    case Mp3: {
        const int *higher = std::lower_bound(std::begin(mpegRates),
                                             std::end(mpegRates),
                                             sourceRate);
        return higher == std::end(mpegRates) ? 48000 : *higher;
    }
    case Flac:
    case Vorbis:
        return std::min(sourceRate, maxCompressedRate);
    }
    return sourceRate;
}

double SaveFormat::compressionLevel() const
{
    switch (m_kind) {
    case Mp3:
        return mp3Level;
    case Vorbis:
        return vorbisLevel;
    case Opus:
        return 1.0 - (opusBitsPerChannel - 6000) / 250000;
    case Wave:
    case Flac:
        break;
    }
    return -1;
}

const std::array<SaveFormat, 5> &SaveFormat::all()
{
    static const std::array<SaveFormat, 5> table = {
            SaveFormat(SaveFormat::Wave, "WAV", "wav", 1024),
            SaveFormat(SaveFormat::Flac, "FLAC", "flac", 8),
            SaveFormat(SaveFormat::Mp3, "MP3", "mp3", 2),
            SaveFormat(SaveFormat::Vorbis, "Ogg Vorbis", "ogg", 255),
            SaveFormat(SaveFormat::Opus, "Opus", "opus", 255),
    };
    return table;
}
