#pragma once

#include "core/Result.h"
#include "media/files/WaveFormat.h"
#include "media/take/WavePiece.h"

#include <QDateTime>
#include <QString>

#include <vector>

// What a recording is made of, written beside its spool whenever that changes (a take starts or
// ends, the recording is saved), so that the recording can be put together again after a crash.
class FileSystem;

struct TakeJournal
{
    QDateTime started; // when the first take began
    WaveFormat format;
    // The opened file the takes were recorded into, as it was then; empty for a new recording.
    QString filePath;
    qint64 fileSize = 0;
    qint64 fileModifiedMs = 0;
    std::vector<WavePiece> pieces;
    // The piece a take in progress extends: it runs on to the end of the spool. -1 for none.
    int growingPiece = -1;
    bool saved = false; // saved, and not changed since

    QByteArray toJson() const;
    static Result<TakeJournal> fromJson(const QByteArray &json);

    // Replaces the file at path in one step, durably, owner-only.
    Result<> write(const QString &path, FileSystem &fileSystem) const;
    // Where write() makes the new journal before it takes the old one's place.
    static QString nextPathFor(const QString &path);
    static Result<TakeJournal> read(const QString &path);
};
