#include "media/files/CompressedFile.h"

#include "media/files/SndFile.h"

#include <sndfile.h>

#include <algorithm>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The frames at the end that must decode.
constexpr qint64 tailFrames = 8192;
// How much of an MP3 stream may be missing before it counts as cut short: what mpg123 itself
// lets pass (it warns past 1 %), a frame or two that the decoder replaces with silence.
constexpr qint64 mpegSlackPercent = 1;

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

quint32 bigEndian32(const QByteArray &bytes, qsizetype at)
{
    quint32 value = 0;
    for (qsizetype i = at; i < at + 4; ++i)
        value = value << 8 | quint8(bytes[i]);
    return value;
}

QByteArray readAt(int fd, qint64 offset, qsizetype bytes)
{
    QByteArray data(bytes, '\0');
    data.truncate(std::max<ssize_t>(0, ::pread(fd, data.data(), std::size_t(bytes), offset)));
    return data;
}

// An MP3 stream's size in bytes as the Xing or Info header in its first frame gives it (LAME
// and most encoders write one), and where the stream starts, after an ID3v2 tag; -1 when it has
// no such header. Seeking to the end to decode it would make mpg123 read the whole file.
qint64 mpegStreamBytes(int fd, qint64 *start)
{
    const QByteArray id3 = readAt(fd, 0, 10);
    *start = 0;
    if (id3.size() == 10 && id3.startsWith("ID3")) {
        *start = 10
                 + ((quint8(id3[6]) & 0x7F) << 21 | (quint8(id3[7]) & 0x7F) << 14
                    | (quint8(id3[8]) & 0x7F) << 7 | (quint8(id3[9]) & 0x7F))
                 + (quint8(id3[5]) & 0x10 ? 10 : 0); // a footer
    }
    // after the frame's header and side information, at most 36 bytes in
    const QByteArray frame = readAt(fd, *start, 64);
    qsizetype tag = frame.indexOf("Xing");
    if (tag < 0)
        tag = frame.indexOf("Info");
    if (tag < 0 || tag + 16 > frame.size())
        return -1;
    const quint32 flags = bigEndian32(frame, tag + 4);
    const qsizetype bytesAt = tag + 8 + (flags & 1 ? 4 : 0); // after the frame count
    return flags & 2 ? qint64(bigEndian32(frame, bytesAt)) : -1;
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
    if (kind == Kind::Mpeg) {
        // without a size in its header, its length was estimated from the file's own
        struct stat st = {};
        qint64 start = 0;
        const qint64 streamBytes = mpegStreamBytes(file.fd(), &start);
        if (streamBytes > 0 && ::fstat(file.fd(), &st) == 0
            && (qint64(st.st_size) - start) * 100 < streamBytes * (100 - mpegSlackPercent))
            return damaged("文件不完整或已损坏");
        return {};
    }
    const qint64 from = std::max<qint64>(0, info.frames - tailFrames);
    const qint64 wanted = info.frames - from;
    std::vector<float> samples(std::size_t(wanted * info.channels));
    const Result<qint64> got = file.read(from, SampleType::Float, samples.data(), wanted);
    if (!got.ok() || got.value() < wanted)
        return damaged("文件不完整或已损坏");
    return {};
}

} // namespace CompressedFile
