#include "media/SpoolFile.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Result<SpoolFile> SpoolFile::create()
{
    return create(QDir::tempPath());
}

Result<SpoolFile> SpoolFile::create(const QString &folder)
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
        return Failure(QStringLiteral(u"无法创建录音临时文件：") + MediaTexts::systemError(errno));
    return spool;
}

Result<> SpoolFile::append(const char *data, qint64 bytes)
{
    qint64 done = 0;
    while (done < bytes) {
        const ssize_t n = ::pwrite(m_fd.get(), data + done, size_t(bytes - done), m_size + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int errorNumber = n < 0 ? errno : ENOSPC;
            // drop the partial tail so the spool stays whole frames; the size we keep bounds
            // every read even when that fails
            if (::ftruncate(m_fd.get(), m_size) != 0)
                qCWarning(lcMedia) << "could not cut the spool back to whole frames:"
                                   << MediaTexts::systemError(errno);
            return Failure(MediaTexts::recordingWriteFailed(errorNumber));
        }
        done += n;
    }
    m_size += bytes;
    return {};
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
