#include "media/files/CompressedFile.h"

#include "media/files/SndFile.h"

#include <sndfile.h>

#include <vector>

namespace {

// The frames at the end that must decode. An MP3 without a length in its first frame has its
// length estimated from its size, which may be a few frames of 1152 samples long.
constexpr qint64 tailFrames = 8192;
constexpr qint64 mpegSlack = 4 * 1152;

Failure damaged(const char *why)
{
    return Failure(Failure::BadFile, QString::fromUtf8(why));
}

bool encodingFits(int format, CompressedFile::Kind kind)
{
    const int container = format & SF_FORMAT_TYPEMASK;
    const int encoding = format & SF_FORMAT_SUBMASK;
    switch (kind) {
    case CompressedFile::Kind::Flac:
        return container == SF_FORMAT_FLAC;
    case CompressedFile::Kind::Ogg:
        return container == SF_FORMAT_OGG
               && (encoding == SF_FORMAT_VORBIS || encoding == SF_FORMAT_OPUS);
    case CompressedFile::Kind::Mpeg:
        return container == SF_FORMAT_MPEG;
    case CompressedFile::Kind::None:
        break;
    }
    return false;
}

} // namespace

namespace CompressedFile {

Kind sniff(const QByteArray &start)
{
    if (start.startsWith("fLaC"))
        return Kind::Flac;
    if (start.startsWith("OggS"))
        return Kind::Ogg;
    if (start.startsWith("ID3"))
        return Kind::Mpeg;
    // an MPEG audio frame's sync word and a layer
    if (start.size() >= 2 && quint8(start[0]) == 0xFF && (quint8(start[1]) & 0xE0) == 0xE0
        && (quint8(start[1]) & 0x06) != 0)
        return Kind::Mpeg;
    return Kind::None;
}

Result<> check(SndFile &file, Kind kind)
{
    const SF_INFO &info = file.info();
    if (!encodingFits(info.format, kind))
        return damaged("不是支持的声音格式");
    if (info.frames < 0 || info.frames == SF_COUNT_MAX)
        return damaged("文件不完整，无法知道声音的长度");
    const qint64 from = std::max<qint64>(0, info.frames - tailFrames);
    const qint64 wanted = info.frames - from;
    const qint64 needed = kind == Kind::Mpeg ? std::max<qint64>(0, wanted - mpegSlack) : wanted;
    std::vector<float> samples(std::size_t(wanted * info.channels));
    if (file.read(from, SampleType::Float, samples.data(), wanted) < needed)
        return damaged("文件不完整或已损坏");
    return {};
}

} // namespace CompressedFile
