#include "platform/LockFileInstanceGuard.h"

#include "platform/PlatformLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Makes the check one step for copies started together, and keeps a copy from locking a file
// that its holder is just removing. The kernel drops the gate with its holder, so a killed copy
// never blocks it.
class CheckGate
{
public:
    explicit CheckGate(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_EX);
    }
    ~CheckGate()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CheckGate(const CheckGate &) = delete;
    CheckGate &operator=(const CheckGate &) = delete;

private:
    int m_fd;
};

// The display names the desktop session: two sessions of one user (or two test X servers) must not
// see each other's copy.
QString sessionName(const QProcessEnvironment &environment)
{
    QString display = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
    if (display.isEmpty())
        display = environment.value(QStringLiteral("DISPLAY"));
    if (display.isEmpty())
        return QStringLiteral("nodisplay");
    QString name;
    for (const QChar c : std::as_const(display)) {
        const bool safe = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')
                          || (c >= u'0' && c <= u'9') || c == u'.' || c == u'-';
        name += safe ? c : u'_';
    }
    return name;
}

} // namespace

LockFileInstanceGuard::LockFileInstanceGuard(const QProcessEnvironment &environment)
    : m_lockFilePath(lockFilePathFor(environment))
{}

LockFileInstanceGuard::~LockFileInstanceGuard()
{
    release();
}

QString LockFileInstanceGuard::lockFilePathFor(const QProcessEnvironment &environment)
{
    const QString session = sessionName(environment);
    const QString runtimeDir = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!runtimeDir.isEmpty() && QFileInfo(runtimeDir).isDir())
        return runtimeDir + QStringLiteral("/tapewren-") + session + QStringLiteral(".lock");
    // The temporary folder is shared by all users: the uid keeps them apart.
    QString tempDir = environment.value(QStringLiteral("TMPDIR"));
    if (tempDir.isEmpty() || !QFileInfo(tempDir).isDir())
        tempDir = QStringLiteral("/tmp");
    return QDir::cleanPath(tempDir) + QStringLiteral("/tapewren-") + QString::number(::getuid())
           + u'-' + session + QStringLiteral(".lock");
}

Flag LockFileInstanceGuard::PrevInstance()
{
    if (m_lock.isValid())
        return FlagFalse;
    const CheckGate gate(m_lockFilePath + QStringLiteral(".gate"));
    UniqueFd lock(::open(QFile::encodeName(m_lockFilePath).constData(),
                         O_RDWR | O_CREAT | O_CLOEXEC,
                         0600));
    if (lock.isValid() && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
        // For whoever looks at the file: which process holds it.
        const QByteArray holder = QByteArray::number(qint64(::getpid())) + '\n';
        if (::ftruncate(lock.get(), 0) != 0
            || ::pwrite(lock.get(), holder.constData(), size_t(holder.size()), 0) < 0)
            qCInfo(lcPlatform) << "cannot note the holder in" << m_lockFilePath;
        m_lock = std::move(lock);
        return FlagFalse;
    }
    if (lock.isValid() && errno == EWOULDBLOCK)
        return FlagTrue;
    // A lock we cannot even create (no permission, no folder) says nothing about another copy.
    qCWarning(lcPlatform) << "cannot take the single-instance lock" << m_lockFilePath
                          << "; going on as the only copy";
    return FlagFalse;
}

void LockFileInstanceGuard::release()
{
    if (!m_lock.isValid())
        return;
    // Under the gate: a copy checking now must not take the lock of a file on its way out.
    const CheckGate gate(m_lockFilePath + QStringLiteral(".gate"));
    ::unlink(QFile::encodeName(m_lockFilePath).constData());
    m_lock.reset();
}
