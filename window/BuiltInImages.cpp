#include "window/BuiltInImages.h"

#include <QImageReader>

using namespace Qt::StringLiterals;

namespace {
// Named formats only: left to guess, Qt loads every image plugin it has (the JPEG reader and
// its library among them) to ask each whether it knows the file.
QImage decode(const QString &path, const char *format)
{
    QImageReader reader(path, format);
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}
} // namespace

std::future<BuiltInImages> BuiltInImages::decodeAhead()
{
    return std::async(std::launch::async, [] {
        BuiltInImages images;
        images.icon = decode(u":/images/tapewren.ico"_s, "ico");
        images.hand = decode(u":/images/hand.png"_s, "png");
        images.handMask = decode(u":/images/hand-mask.png"_s, "png");
        images.expander = decode(u":/images/expand.gif"_s, "gif");
        images.banner = decode(u":/images/orbanet.gif"_s, "gif");
        return images;
    });
}
