#include "recorder/SpoolFile.h"

#include "recorder/MediaTexts.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

SpoolFile SpoolFile::create(QString *reason)
{
    return create(QDir::tempPath(), reason);
}

SpoolFile SpoolFile::create(const QString &folder, QString *reason)
{
    SpoolFile spool;
    const QByteArray dir = QFile::encodeName(folder);
    spool.m_fd.reset(::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!spool.m_fd.isValid()) {
        // file systems without O_TMPFILE: a private name, gone again at once
        QByteArray name = dir + "/tapewren-spool-XXXXXX";
        spool.m_fd.reset(::mkostemp(name.data(), O_CLOEXEC));
        if (spool.m_fd.isValid())
            ::unlink(name.constData());
    }
    if (!spool.m_fd.isValid())
        *reason = QStringLiteral(u"无法创建录音临时文件：") + MediaTexts::systemError(errno);
    return spool;
}

bool SpoolFile::append(const char *data, qint64 bytes, int *errorNumber)
{
    qint64 done = 0;
    while (done < bytes) {
        const ssize_t n = ::pwrite(m_fd.get(), data + done, size_t(bytes - done), m_size + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *errorNumber = n < 0 ? errno : ENOSPC;
            // drop the partial tail so the spool stays whole frames
            if (::ftruncate(m_fd.get(), m_size) != 0) {
                // nothing more to do: the size we keep still bounds every read
            }
            return false;
        }
        done += n;
    }
    m_size += bytes;
    return true;
}

qint64 SpoolFile::readAt(qint64 offset, char *out, qint64 bytes) const
{
    qint64 done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(m_fd.get(), out + done, size_t(bytes - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}
