#include "media/files/WaveFileHeader.h"

#include <QtEndian>

#include <sndfile.h>

namespace {

constexpr quint16 pcmTag = 1;
constexpr quint16 floatTag = 3;
constexpr quint16 alawTag = 6;
constexpr quint16 ulawTag = 7;

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray le64(quint64 value)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const char *id, const QByteArray &body)
{
    return QByteArray(id, 4) + le32(quint32(body.size())) + body;
}

} // namespace

int WaveFileHeader::sampleBytes(int encoding)
{
    switch (encoding) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return 1;
    case SF_FORMAT_PCM_24:
        return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        return 4;
    case SF_FORMAT_DOUBLE:
        return 8;
    default:
        return 2;
    }
}

quint16 WaveFileHeader::formatTag(int encoding)
{
    switch (encoding) {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
        return floatTag;
    case SF_FORMAT_ULAW:
        return ulawTag;
    case SF_FORMAT_ALAW:
        return alawTag;
    default:
        return pcmTag;
    }
}

QByteArray WaveFileHeader::formatBody(
        quint16 tag, int channels, int sampleRate, int frameBytes, int sampleBits)
{
    QByteArray body(16, '\0');
    qToLittleEndian(tag, body.data());
    qToLittleEndian(quint16(channels), body.data() + 2);
    qToLittleEndian(quint32(sampleRate), body.data() + 4);
    qToLittleEndian(quint32(sampleRate * frameBytes), body.data() + 8);
    qToLittleEndian(quint16(frameBytes), body.data() + 12);
    qToLittleEndian(quint16(sampleBits), body.data() + 14);
    return body;
}

QByteArray WaveFileHeader::make(const WaveFormat &format, qint64 frames)
{
    const int encoding = format.encoding();
    const int frameBytes = sampleBytes(encoding) * format.channels();
    const quint16 tag = formatTag(encoding);
    const qint64 dataBytes = frames * frameBytes;
    const qint64 pad = dataBytes & 1; // chunks keep even lengths

    QByteArray middle = chunk("fmt ",
                              formatBody(tag,
                                         format.channels(),
                                         format.sampleRate(),
                                         frameBytes,
                                         sampleBytes(encoding) * 8));
    if (tag != pcmTag)
        middle += chunk("fact", le32(quint32(std::min<qint64>(frames, 0xFFFFFFFF))));

    const bool rf64 = (format.sndfileFormat() & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64;
    if (!rf64) {
        const qint64 riffBytes = 4 + middle.size() + 8 + dataBytes + pad;
        return "RIFF" + le32(quint32(riffBytes)) + "WAVE" + middle + "data"
               + le32(quint32(dataBytes));
    }
    // the sizes live in ds64; RIFF and data say "see there"
    const qint64 ds64Bytes = 8 + 28;
    const qint64 riffBytes = 4 + ds64Bytes + middle.size() + 8 + dataBytes + pad;
    const QByteArray ds64 = chunk("ds64",
                                  le64(quint64(riffBytes)) + le64(quint64(dataBytes))
                                          + le64(quint64(frames)) + le32(0));
    return "RF64" + le32(0xFFFFFFFFu) + "WAVE" + ds64 + middle + "data" + le32(0xFFFFFFFFu);
}
