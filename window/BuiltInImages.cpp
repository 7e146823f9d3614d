#include "window/BuiltInImages.h"

using namespace Qt::StringLiterals;

std::future<BuiltInImages> BuiltInImages::decodeAhead()
{
    return std::async(std::launch::async, [] {
        BuiltInImages images;
        images.icon = QImage(u":/images/tapewren.ico"_s);
        images.hand = QImage(u":/images/hand.png"_s);
        images.handMask = QImage(u":/images/hand-mask.png"_s);
        images.expander = QImage(u":/images/expand.gif"_s);
        images.banner = QImage(u":/images/orbanet.gif"_s);
        return images;
    });
}
