#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// An ID3v2.4 tag for the head of an MP3 file, with the software that wrote it (TSSE) and the
// date it was recorded (TDRC), in UTF-8. libsndfile's MP3 writer has room for neither: it
// writes the year alone, and no software.
namespace Id3Tag {

QByteArray make(const QString &software, const QDateTime &recorded);

} // namespace Id3Tag
