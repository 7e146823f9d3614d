#pragma once

#include "core/Result.h"

#include <QString>

#include <atomic>

class Waveform;

// Writes a waveform to a file, atomically: into a temporary file beside the target, flushed to
// disk, then renamed over it. When anything fails, or the save is cancelled, the target is left
// as it was and the temporary file is removed. The target's extension says the format
// (SaveFormat): FLAC, MP3, Ogg Vorbis and Opus go through EncodedFileWriter; anything else is a
// RIFF WAVE file in the waveform's own encoding (RF64 past 4 GiB). Where every piece of the
// waveform already holds that encoding, its bytes are copied as they are, in large blocks;
// otherwise the samples go through libsndfile.
class WaveSaver
{
public:
    // Shared with whoever watches a save on another thread.
    struct Progress
    {
        std::atomic<qint64> written{0}; // frames
        std::atomic<qint64> total{0};
        std::atomic<bool> cancel{false}; // set to stop the save at the next block
    };
    enum class Method { Fastest, ThroughLibsndfile };

    static Result<> save(Waveform &waveform,
                         const QString &path,
                         Progress *progress = nullptr,
                         Method method = Method::Fastest);

    // Largest sound data a plain RIFF header can describe, with room for the header itself.
    static constexpr qint64 riffLimit = 0xFFFFFFFFLL - 0x10000;
};
