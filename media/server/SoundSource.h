#pragma once

#include "core/Result.h"

#include <QtGlobal>

// What a playback stream pulls its sound from.
class SoundSource
{
public:
    virtual ~SoundSource() = default;
    // Copies up to maxBytes of whole frames into data; 0 once the sound has ended. Fails when
    // the sound can no longer be read, which ends the playback.
    virtual Result<qint64> read(char *data, qint64 maxBytes) = 0;
};
