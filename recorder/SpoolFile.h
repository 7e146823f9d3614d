#pragma once

#include "recorder/UniqueFd.h"

#include <QString>

// An unnamed, owner-only file in the temporary folder that captured audio is appended to. It
// has no name from the start, so nothing is left behind after an exit or a crash.
class SpoolFile
{
public:
    // Returns an invalid spool and sets reason when no file could be made.
    static SpoolFile create(QString *reason);
    // For tests and benchmarks: a spool in folder.
    static SpoolFile create(const QString &folder, QString *reason);

    bool isValid() const { return m_fd.isValid(); }
    qint64 size() const { return m_size; }

    // Appends all of data or nothing; on failure sets reason and errorNumber (errno).
    bool append(const char *data, qint64 bytes, int *errorNumber);
    // Reads bytes at offset; returns the bytes read.
    qint64 readAt(qint64 offset, char *out, qint64 bytes) const;

private:
    UniqueFd m_fd;
    qint64 m_size = 0;
};
