#pragma once

#include "core/Result.h"
#include "media/files/WaveFormat.h"

#include <QByteArray>

// The fixed header that keeps a spool a valid WAV file at every moment: RIFF with a JUNK chunk
// that holds the place of RF64's ds64 chunk, so that a spool growing past 4 GiB becomes RF64 by
// rewriting the header alone; then the fmt chunk, a padding JUNK chunk and the data chunk's
// head. The samples follow in the waveform's sample type (16-bit or 32-bit integers, 32-bit or
// 64-bit floats).
namespace SpoolHeader {

// The sound starts as far into a page as it does in a saved RIFF file (44 bytes), so a save
// copies the spool in the kernel page against page, about half again as fast as across pages.
inline constexpr qint64 size = 4096 + 44;
QByteArray make(const WaveFormat &format, qint64 dataBytes);

struct Contents
{
    int sampleRate = 0;
    int channels = 0;
    SampleType sampleType = SampleType::Int16;
    qint64 dataBytes = 0; // as the header gives it
};
// Reads a header that make() wrote, from the file's first size bytes.
Result<Contents> parse(const QByteArray &header);

} // namespace SpoolHeader
