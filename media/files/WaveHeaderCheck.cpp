#include "media/files/WaveHeaderCheck.h"

#include "media/MediaTexts.h"

#include <QIODevice>
#include <QtEndian>

namespace {

const QByteArray wave64Riff = QByteArray::fromHex("72696666"
                                                  "2e91cf11a5d628db04c10000");
const QByteArray wave64Wave = QByteArray::fromHex("77617665"
                                                  "f3acd3118cd100c04f8edb8a");
const QByteArray wave64Guid = QByteArray::fromHex("f3acd3118cd100c04f8edb8a");

Failure damaged(const char16_t *what)
{
    return Failure(Failure::BadFile, MediaTexts::damaged(QString::fromUtf16(what)));
}

Failure notWave()
{
    return Failure(Failure::BadFile, MediaTexts::notWave());
}

} // namespace

WaveHeaderCheck::WaveHeaderCheck(QIODevice &file)
    : m_file(file)
    , m_fileSize(file.size())
{}

Result<WaveHeaderCheck::Layout> WaveHeaderCheck::check(QIODevice &file)
{
    WaveHeaderCheck check(file);
    if (check.m_fileSize == 0)
        return damaged(u"文件是空的");
    QByteArray head;
    if (!check.readAt(0, 12, &head))
        return notWave();
    const QByteArray id = head.left(4);
    if ((id == "RIFF" || id == "RIFX" || id == "RF64") && head.mid(8, 4) == "WAVE") {
        check.m_bigEndian = id == "RIFX";
        return check.checkRiff();
    }
    QByteArray guid;
    if (check.readAt(0, 16, &guid) && guid == wave64Riff)
        return check.checkWave64();
    return notWave();
}

Result<WaveHeaderCheck::Layout> WaveHeaderCheck::checkRiff()
{
    QByteArray first;
    readAt(0, 4, &first);
    const bool rf64 = first == "RF64";
    quint64 rf64DataSize = 0;
    bool haveFormat = false;
    qint64 offset = 12;
    while (offset + 8 <= m_fileSize) {
        QByteArray chunk;
        if (!readAt(offset, 8, &chunk))
            break;
        const QByteArray id = chunk.left(4);
        quint64 size = u32(chunk, 4);
        const qint64 body = offset + 8;
        if (rf64 && id == "ds64") {
            QByteArray ds64;
            if (size < 24 || !readAt(body, 24, &ds64))
                return damaged(u"RF64 文件头不完整");
            rf64DataSize = u64(ds64, 8);
        } else if (id == "fmt ") {
            if (Result<> format = checkFormat(body, size); !format.ok())
                return format.failure();
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return damaged(u"缺少格式信息");
            if (rf64 && size == 0xFFFFFFFFu)
                size = rf64DataSize;
            if (quint64(m_fileSize - body) < size)
                return damaged(u"声音数据的长度超出了文件末尾");
            return Layout{body, qint64(size), m_bigEndian};
        }
        if (quint64(m_fileSize - body) < size)
            return damaged(u"文件头中的块长度超出了文件末尾");
        offset = body + qint64(size) + qint64(size & 1);
    }
    return damaged(haveFormat ? u"没有声音数据" : u"缺少格式信息");
}

Result<WaveHeaderCheck::Layout> WaveHeaderCheck::checkWave64()
{
    QByteArray head;
    if (!readAt(24, 16, &head) || head != wave64Wave)
        return notWave();
    bool haveFormat = false;
    qint64 offset = 40;
    while (offset + 24 <= m_fileSize) {
        QByteArray chunk;
        if (!readAt(offset, 24, &chunk))
            break;
        const QByteArray id = chunk.left(4);
        const quint64 size = u64(chunk, 16); // counts the 24-byte chunk header
        if (size < 24 || quint64(m_fileSize - offset) < size) {
            return damaged(id == "data" ? u"声音数据的长度超出了文件末尾"
                                        : u"文件头中的块长度超出了文件末尾");
        }
        if (chunk.mid(4, 12) == wave64Guid && id == "fmt ") {
            if (Result<> format = checkFormat(offset + 24, size - 24); !format.ok())
                return format.failure();
            haveFormat = true;
        } else if (chunk.mid(4, 12) == wave64Guid && id == "data") {
            if (!haveFormat)
                return damaged(u"缺少格式信息");
            return Layout{offset + 24, qint64(size - 24), false};
        }
        offset += qint64((size + 7) & ~quint64(7));
    }
    return damaged(haveFormat ? u"没有声音数据" : u"缺少格式信息");
}

Result<> WaveHeaderCheck::checkFormat(qint64 offset, quint64 size)
{
    QByteArray format;
    if (size < 16 || !readAt(offset, 16, &format))
        return damaged(u"格式信息不完整");
    const int channels = u16(format, 2);
    const quint32 rate = u32(format, 4);
    if (channels < 1 || channels > maxChannels)
        return damaged(u"声道数不合理");
    if (rate < quint32(minSampleRate) || rate > quint32(maxSampleRate))
        return damaged(u"采样率不合理");
    return {};
}

bool WaveHeaderCheck::readAt(qint64 offset, int bytes, QByteArray *out)
{
    if (offset < 0 || offset + bytes > m_fileSize || !m_file.seek(offset))
        return false;
    *out = m_file.read(bytes);
    return out->size() == bytes;
}

quint32 WaveHeaderCheck::u32(const QByteArray &bytes, int at) const
{
    return m_bigEndian ? qFromBigEndian<quint32>(bytes.constData() + at)
                       : qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint16 WaveHeaderCheck::u16(const QByteArray &bytes, int at) const
{
    return m_bigEndian ? qFromBigEndian<quint16>(bytes.constData() + at)
                       : qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint64 WaveHeaderCheck::u64(const QByteArray &bytes, int at) const
{
    return m_bigEndian ? qFromBigEndian<quint64>(bytes.constData() + at)
                       : qFromLittleEndian<quint64>(bytes.constData() + at);
}
