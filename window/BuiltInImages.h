#pragma once

#include <QImage>

#include <future>

// The window's own pictures, read from the program's resources. Decoding them (and loading
// Qt's GIF and icon readers for it) is started on a worker thread, so that it runs while the
// controls are being made; the pixmaps are made from them on the window's thread.
struct BuiltInImages
{
    QImage icon;
    QImage hand;
    QImage handMask;
    QImage expander;
    QImage banner;

    static std::future<BuiltInImages> decodeAhead();
};
