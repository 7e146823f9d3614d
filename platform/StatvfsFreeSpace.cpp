#include "platform/StatvfsFreeSpace.h"

#include "core/Result.h"
#include "platform/PlatformLog.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/statvfs.h>

namespace {

Result<qint64> freeBytes(const QByteArray &folder)
{
    struct statvfs disk = {};
    if (::statvfs(folder.constData(), &disk) != 0)
        return Failure(Failure::Io, QString::fromLocal8Bit(std::strerror(errno)));
    // f_bavail leaves out the blocks kept for root
    return qint64(disk.f_bavail) * qint64(disk.f_frsize);
}

} // namespace

void StatvfsFreeSpace::ask(const QString &folder)
{
    if (m_asking)
        return;
    m_asking = true;
    m_work.run([path = QFile::encodeName(folder)] { return freeBytes(path); },
               [this, folder](const Result<qint64> &answer) {
                   m_asking = false;
                   if (answer.ok())
                       emit measured(answer.value());
                   else
                       qCInfo(lcPlatform) << "cannot tell the free space of" << folder << ":"
                                          << answer.reason();
               });
}
