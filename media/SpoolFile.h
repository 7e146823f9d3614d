#pragma once

#include "core/Result.h"
#include "media/UniqueFd.h"

#include <QString>

// An unnamed, owner-only file in the temporary folder that captured audio is appended to. It
// has no name from the start, so nothing is left behind after an exit or a crash.
class SpoolFile
{
public:
    SpoolFile() = default;

    // A spool in the temporary folder.
    static Result<SpoolFile> create();
    // For tests and benchmarks: a spool in folder.
    static Result<SpoolFile> create(const QString &folder);

    bool isValid() const { return m_fd.isValid(); }
    qint64 size() const { return m_size; }

    // Appends all of data or nothing. The reason says that the recording stopped, and why.
    Result<> append(const char *data, qint64 bytes);
    // Reads bytes at offset; returns the bytes read.
    qint64 readAt(qint64 offset, char *out, qint64 bytes) const;

private:
    UniqueFd m_fd;
    qint64 m_size = 0;
};
