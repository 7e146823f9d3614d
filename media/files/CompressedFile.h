#pragma once

#include "core/Result.h"

#include <QByteArray>

class SndFile;

// The compressed sound files Tapewren opens beside WAV: FLAC, Ogg (Vorbis or Opus) and MPEG
// audio (MP3). They are told by their first bytes, whatever their name, and read through
// libsndfile's decoders.
namespace CompressedFile {

enum class Kind { None, Flac, Ogg, Mpeg };

// What the first bytes of a file say it is; None for anything else, WAV included.
Kind sniff(const QByteArray &start);
// How many first bytes sniff() looks at.
inline constexpr int sniffBytes = 4;

// Refuses a file opened as kind that cannot be played to its end: one whose length is unknown,
// whose encoding is not one of the kind's, or that was cut short: its last frames do not decode,
// or, for MP3, it is shorter than its header says.
Result<> check(SndFile &file, Kind kind);

} // namespace CompressedFile
