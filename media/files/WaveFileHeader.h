#pragma once

#include "media/files/WaveFormat.h"

#include <QByteArray>

// The header of a WAV file whose sound data follows it byte for byte: RIFF, or RF64 when the
// format's container says so, a fact chunk for encodings other than PCM, and the data chunk's
// header last.
namespace WaveFileHeader {

// format: the file's (container and encoding, which must be one stored sample by sample).
QByteArray make(const WaveFormat &format, qint64 frames);
// The body of a "fmt " chunk: 16 bytes, for the format tag, channels, rate, bytes a frame and
// bits a sample.
QByteArray formatBody(quint16 tag, int channels, int sampleRate, int frameBytes, int sampleBits);
// The bytes one sample takes in the file, and the format tag, for the encodings make() takes.
int sampleBytes(int encoding);
quint16 formatTag(int encoding);

} // namespace WaveFileHeader
