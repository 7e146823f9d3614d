#pragma once

#include "media/files/WaveFormat.h"

#include <QString>

#include <array>

// The five formats a recording is saved in, told by the extension of the file's name (in any
// case): WAV, FLAC, MP3, Ogg Vorbis and Opus. A name with any other extension, or none, is
// saved as WAV. Each compressed format has its encoder settings fixed here.
class SaveFormat
{
public:
    enum Kind { Wave, Flac, Mp3, Vorbis, Opus };

    static const SaveFormat &forPath(const QString &path);

    Kind kind() const { return m_kind; }
    bool isWave() const { return m_kind == Wave; }
    // "FLAC", as the user's sentences name it.
    QString name() const { return QString::fromLatin1(m_name); }
    int maxChannels() const { return m_maxChannels; }

    // The libsndfile format (container | encoding) a waveform in source is written in: WAV keeps
    // a WAV source's own (RIFF or RF64 is the saver's to choose) and takes 16 or 24-bit PCM
    // from a compressed one; FLAC is 16 or 24-bit by the source's depth; the lossy formats have
    // one encoding each.
    int fileFormat(const WaveFormat &source) const;
    // The rate the file is written at: the source's, where the encoder takes it.
    int sampleRate(int sourceRate) const;
    // libsndfile's compression level for the encoder (0 best, 1 smallest); negative to leave
    // the encoder's default.
    double compressionLevel() const;
    // Samples go to the encoder as 32-bit floats, rather than in the waveform's sample type.
    bool takesFloats() const { return m_kind == Mp3 || m_kind == Vorbis || m_kind == Opus; }

private:
    static const std::array<SaveFormat, 5> &all();

    SaveFormat(Kind kind, const char *name, const char *extension, int maxChannels)
        : m_kind(kind)
        , m_name(name)
        , m_extension(extension)
        , m_maxChannels(maxChannels)
    {}

    Kind m_kind;
    const char *m_name;
    const char *m_extension;
    int m_maxChannels;
};
