#include "media/files/Id3Tag.h"

namespace {

// ID3v2.4 sizes: 28 bits, seven to a byte, the high bit of each clear.
QByteArray syncSafe(qint64 size)
{
    QByteArray bytes(4, '\0');
    for (int i = 3; i >= 0; --i) {
        bytes[i] = char(size & 0x7F);
        size >>= 7;
    }
    return bytes;
}

QByteArray textFrame(const char *id, const QString &text)
{
    const QByteArray body = '\x03' + text.toUtf8(); // 3: UTF-8
    return QByteArray(id) + syncSafe(body.size()) + QByteArray(2, '\0') + body;
}

} // namespace

namespace Id3Tag {

QByteArray make(const QString &software, const QDateTime &recorded)
{
    const QByteArray frames = textFrame("TSSE", software)
                              + textFrame("TDRC",
                                          recorded.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    return QByteArray("ID3\x04\x00\x00", 6) + syncSafe(frames.size()) + frames;
}

} // namespace Id3Tag
