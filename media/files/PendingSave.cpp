#include "media/files/PendingSave.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString tempSuffix = QStringLiteral(".tapewren-");
const QString notePattern = QStringLiteral("save-*.pending");

// Only files this program names so are ever removed on a note's word.
bool looksLikeOurTemp(const QString &path)
{
    static const QRegularExpression name(QStringLiteral(R"(^\..+\.tapewren-[A-Za-z0-9]{6}$)"));
    const QFileInfo file(path);
    return file.isAbsolute() && name.match(file.fileName()).hasMatch();
}

} // namespace

Result<PendingSave> PendingSave::begin(const QString &target, const QString &stateFolder)
{
    const QFileInfo info(target);
    PendingSave save;
    save.m_target = QFile::encodeName(info.absoluteFilePath());
    save.m_temp = QFile::encodeName(info.absolutePath() + QStringLiteral(u"/.") + info.fileName()
                                    + tempSuffix + QStringLiteral("XXXXXX"));
    save.m_fd.reset(::mkostemp(save.m_temp.data(), O_CLOEXEC));
    if (!save.m_fd.isValid()) {
        save.m_temp.clear();
        return MediaTexts::systemFailure(errno);
    }
    // held until the file is renamed or removed: a lock that is free marks a crashed save
    ::flock(save.m_fd.get(), LOCK_EX | LOCK_NB);

    // A save that cannot leave a note still works; only a crash in the middle of it would then
    // leave the hidden file behind.
    if (QDir().mkpath(stateFolder)) {
        QByteArray note = QFile::encodeName(stateFolder) + "/save-XXXXXX.pending";
        UniqueFd fd(::mkostemps(note.data(), 8, O_CLOEXEC)); // owner-only
        if (fd.isValid()
            && ::write(fd.get(), save.m_temp.constData(), size_t(save.m_temp.size()))
                       == ssize_t(save.m_temp.size()))
            save.m_note = note;
        else if (fd.isValid())
            ::unlink(note.constData());
    }
    if (save.m_note.isEmpty())
        qCWarning(lcMedia) << "no note of the save's temporary file" << save.m_temp;
    return save;
}

PendingSave::PendingSave(PendingSave &&other) noexcept
    : m_fd(std::move(other.m_fd))
    , m_temp(std::exchange(other.m_temp, {}))
    , m_target(std::exchange(other.m_target, {}))
    , m_note(std::exchange(other.m_note, {}))
{}

PendingSave::~PendingSave()
{
    discard();
}

void PendingSave::discard()
{
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
    if (!m_note.isEmpty())
        ::unlink(m_note.constData());
    m_fd.reset();
    m_temp.clear();
    m_note.clear();
}

Result<> PendingSave::flush()
{
    if (::fsync(m_fd.get()) != 0)
        return MediaTexts::systemFailure(errno);
    return {};
}

Result<> PendingSave::commit()
{
    if (::rename(m_temp.constData(), m_target.constData()) != 0)
        return MediaTexts::systemFailure(errno);
    m_temp.clear(); // it is the target now
    discard();

    // make the rename itself durable; the file is whole either way
    const QByteArray folder = QFile::encodeName(
            QFileInfo(QFile::decodeName(m_target)).absolutePath());
    UniqueFd folderFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.isValid() || ::fsync(folderFd.get()) != 0)
        qCWarning(lcMedia) << "could not flush the folder of" << m_target << ":"
                           << MediaTexts::systemError(errno);
    return {};
}

void PendingSave::removeLeftovers(const QString &stateFolder)
{
    const QFileInfoList notes = QDir(stateFolder).entryInfoList({notePattern}, QDir::Files);
    for (const QFileInfo &noteFile : notes) {
        QFile note(noteFile.absoluteFilePath());
        if (!note.open(QIODevice::ReadOnly))
            continue;
        const QString temp = QFile::decodeName(note.read(4096));
        note.close();
        if (looksLikeOurTemp(temp)) {
            UniqueFd fd(
                    ::open(QFile::encodeName(temp).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
            if (fd.isValid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
                continue; // a running copy is saving into it
            if (fd.isValid()) {
                qCInfo(lcMedia) << "removed what a save left behind:" << temp;
                ::unlink(QFile::encodeName(temp).constData());
            }
        }
        ::unlink(QFile::encodeName(noteFile.absoluteFilePath()).constData());
    }
}
