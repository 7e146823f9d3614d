#pragma once

#include "core/Result.h"
#include "media/WaveFormat.h"

#include <QByteArray>

// The fixed 80-byte header that keeps a spool a valid WAV file at every moment: RIFF with a
// JUNK chunk that holds the place of RF64's ds64 chunk, so that a spool growing past 4 GiB
// becomes RF64 by rewriting the header alone. The samples follow in the waveform's sample type
// (16-bit or 32-bit integers, 32-bit or 64-bit floats).
namespace SpoolHeader {

inline constexpr qint64 size = 80;
// The largest sound data a plain RIFF header describes, the header counted in.
inline constexpr qint64 riffLimit = 0xFFFFFFFFLL - (size - 8);

QByteArray make(const WaveFormat &format, qint64 dataBytes);

struct Contents
{
    int sampleRate = 0;
    int channels = 0;
    SampleType sampleType = SampleType::Int16;
    qint64 dataBytes = 0; // as the header gives it
};
// Reads a header that make() wrote.
Result<Contents> parse(const QByteArray &header);

} // namespace SpoolHeader
