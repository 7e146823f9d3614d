#pragma once

#include "core/Result.h"

#include <QString>

class Waveform;

// Writes a waveform to a RIFF WAVE file in its own format (RF64 past 4 GiB), atomically: into a
// temporary file beside the target, flushed to disk, then renamed over it. When anything fails
// the target is left as it was and the temporary file is removed.
class WaveSaver
{
public:
    static Result<> save(Waveform &waveform, const QString &path);

    // Largest sound data a plain RIFF header can describe, with room for the header itself.
    static constexpr qint64 riffLimit = 0xFFFFFFFFLL - 0x10000;
};
