#pragma once

#include <QtGlobal>

// A run of frames in a recording: taken from the opened file or from the spool of captured
// audio, starting at a frame of that source.
struct WavePiece
{
    enum Source { File, Spool };
    Source source = File;
    qint64 start = 0;
    qint64 frames = 0;

    friend bool operator==(const WavePiece &, const WavePiece &) = default;
};
