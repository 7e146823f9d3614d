#include "media/take/SpoolHeader.h"

#include "media/files/WaveFileHeader.h"

#include <QtEndian>

namespace {

constexpr quint16 pcmTag = 1;
constexpr quint16 floatTag = 3;
constexpr int formatOffset = 56; // the fmt chunk's body
constexpr int afterFormat = 72;

void put32(QByteArray &bytes, int at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void put64(QByteArray &bytes, int at, quint64 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

quint16 get16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 get32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint64 get64(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint64>(bytes.constData() + at);
}

} // namespace

QByteArray SpoolHeader::make(const WaveFormat &format, qint64 dataBytes)
{
    QByteArray header(size, '\0');
    const bool rf64 = dataBytes > 0xFFFFFFFFLL - (size - 8);
    header.replace(0, 4, rf64 ? "RF64" : "RIFF");
    put32(header, 4, rf64 ? 0xFFFFFFFFu : quint32(size - 8 + dataBytes));
    header.replace(8, 4, "WAVE");
    header.replace(12, 4, rf64 ? "ds64" : "JUNK");
    put32(header, 16, 28);
    if (rf64) {
        put64(header, 20, quint64(size - 8 + dataBytes));
        put64(header, 28, quint64(dataBytes));
        put64(header, 36, quint64(dataBytes / format.bytesPerFrame()));
    }
    header.replace(48, 4, "fmt ");
    put32(header, 52, 16);
    const bool floating = format.sampleType() == SampleType::Float
                          || format.sampleType() == SampleType::Double;
    header.replace(formatOffset,
                   16,
                   WaveFileHeader::formatBody(floating ? floatTag : pcmTag,
                                              format.channels(),
                                              format.sampleRate(),
                                              format.bytesPerFrame(),
                                              format.bytesPerSample() * 8));
    header.replace(afterFormat, 4, "JUNK");
    put32(header, afterFormat + 4, quint32(size - afterFormat - 16));
    header.replace(size - 8, 4, "data");
    put32(header, int(size - 4), rf64 ? 0xFFFFFFFFu : quint32(dataBytes));
    return header;
}

Result<SpoolHeader::Contents> SpoolHeader::parse(const QByteArray &header)
{
    const Failure torn(QStringLiteral(u"录音临时文件的文件头不完整"));
    if (header.size() < size || header.mid(8, 4) != "WAVE" || header.mid(48, 4) != "fmt "
        || header.mid(afterFormat, 4) != "JUNK"
        || get32(header, afterFormat + 4) != size - afterFormat - 16
        || header.mid(size - 8, 4) != "data")
        return torn;
    const bool rf64 = header.startsWith("RF64") && header.mid(12, 4) == "ds64";
    if (!rf64 && !(header.startsWith("RIFF") && header.mid(12, 4) == "JUNK"))
        return torn;

    Contents contents;
    contents.channels = get16(header, formatOffset + 2);
    contents.sampleRate = int(get32(header, formatOffset + 4));
    const quint16 tag = get16(header, formatOffset);
    const int bits = get16(header, formatOffset + 14);
    if (tag == pcmTag && bits == 16)
        contents.sampleType = SampleType::Int16;
    else if (tag == pcmTag && bits == 32)
        contents.sampleType = SampleType::Int32;
    else if (tag == floatTag && bits == 32)
        contents.sampleType = SampleType::Float;
    else if (tag == floatTag && bits == 64)
        contents.sampleType = SampleType::Double;
    else
        return torn;
    if (contents.channels < 1 || contents.sampleRate < 1)
        return torn;
    contents.dataBytes = rf64 ? qint64(get64(header, 28)) : qint64(get32(header, int(size - 4)));
    if (contents.dataBytes < 0)
        return torn;
    return contents;
}
