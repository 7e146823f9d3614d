#include "media/take/SpoolFile.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/take/SpoolHeader.h"
#include "media/take/TakeJournal.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>

#include <sndfile.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What a power cut or a kill can take at most of a running take.
constexpr qint64 flushIntervalMs = 1000;

Failure cannotCreate(int errorNumber)
{
    const Failure cause = MediaTexts::systemFailure(errorNumber);
    return Failure(cause.kind,
                   QStringLiteral(u"无法创建录音临时文件（") + cause.reason
                           + QStringLiteral(u"）"));
}

// The folder and the ones above it; the last one for the owner alone.
bool makeFolder(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (!QDir().mkpath(QFileInfo(folder).absolutePath()))
        return false;
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return ::chmod(path.constData(), 0700) == 0 || errno == EPERM;
}

WaveFormat formatOf(const SpoolHeader::Contents &header)
{
    int encoding = SF_FORMAT_PCM_16;
    switch (header.sampleType) {
    case SampleType::Int16:
        break;
    case SampleType::Int32:
        encoding = SF_FORMAT_PCM_32;
        break;
    case SampleType::Float:
        encoding = SF_FORMAT_FLOAT;
        break;
    case SampleType::Double:
        encoding = SF_FORMAT_DOUBLE;
        break;
    }
    return WaveFormat(header.sampleRate, header.channels, SF_FORMAT_WAV | encoding);
}

} // namespace

SpoolFile::SpoolFile(FileSystem &fileSystem)
    : m_fs(fileSystem)
{}

Result<std::shared_ptr<SpoolFile>> SpoolFile::create(const QString &folder,
                                                     const WaveFormat &format,
                                                     FileSystem &fileSystem)
{
    if (!makeFolder(folder))
        return cannotCreate(errno);
    QByteArray name = QFile::encodeName(folder) + "/take-XXXXXX.wav";
    std::shared_ptr<SpoolFile> spool(new SpoolFile(fileSystem));
    spool->m_fd.reset(::mkostemps(name.data(), 4, O_CLOEXEC)); // owner-only, as mkstemp makes it
    if (!spool->m_fd.isValid())
        return cannotCreate(errno);
    spool->m_path = QFile::decodeName(name);
    spool->m_format = format;
    if (::flock(spool->m_fd.get(), LOCK_EX | LOCK_NB) != 0 || !spool->writeHeader().ok()) {
        const int errorNumber = errno;
        spool->remove();
        return cannotCreate(errorNumber);
    }
    return spool;
}

Result<std::shared_ptr<SpoolFile>> SpoolFile::adopt(const QString &path, FileSystem &fileSystem)
{
    std::shared_ptr<SpoolFile> spool(new SpoolFile(fileSystem));
    spool->m_path = path;
    spool->m_fd.reset(::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    if (!spool->m_fd.isValid())
        return MediaTexts::systemFailure(errno);
    if (::flock(spool->m_fd.get(), LOCK_EX | LOCK_NB) != 0)
        return Failure(QStringLiteral(u"录音临时文件正在被另一个 Tapewren 使用"));

    QByteArray header(SpoolHeader::size, '\0');
    struct stat st = {};
    ssize_t got = -1;
    if (::fstat(spool->m_fd.get(), &st) == 0 && S_ISREG(st.st_mode))
        got = ::pread(spool->m_fd.get(), header.data(), header.size(), 0);
    if (got < SpoolHeader::size)
        return Failure(QStringLiteral(u"录音临时文件是空的或不完整"));
    const Result<SpoolHeader::Contents> contents = SpoolHeader::parse(header);
    if (!contents.ok())
        return contents.failure();
    spool->m_format = formatOf(contents.value());
    // The header is rewritten once a second, the sound written as it comes: whole frames of what
    // the file holds count, past the header's last rewrite too.
    const qint64 present = qint64(st.st_size) - SpoolHeader::size;
    const qint64 frames = present / spool->m_format.bytesPerFrame();
    if (frames <= 0)
        return Failure(QStringLiteral(u"录音临时文件里没有完整的声音"));
    spool->m_frames = frames;
    spool->m_durable = frames;
    if (!spool->writeHeader().ok())
        return MediaTexts::systemFailure(errno);
    return spool;
}

QString SpoolFile::journalPath() const
{
    return journalPathFor(m_path);
}

QString SpoolFile::journalPathFor(const QString &spoolPath)
{
    return spoolPath + QStringLiteral(".journal");
}

Result<> SpoolFile::append(const char *data, qint64 frames)
{
    if (m_failed)
        return MediaTexts::spoolFailure(EIO);
    const qint64 at = SpoolHeader::size + m_frames * m_format.bytesPerFrame();
    if (!m_fs.writeAll(m_fd.get(), data, frames * m_format.bytesPerFrame(), at))
        return fail(errno);
    {
        const std::lock_guard lock(m_mutex);
        m_frames += frames;
    }
    m_written.notify_all();
    // Counted in sound as well as in time: the server may hand over more than a second's sound
    // within a second, at the start of a take above all.
    const bool due = !m_sinceFlush.isValid() || m_sinceFlush.elapsed() >= flushIntervalMs
                     || m_frames - m_framesInHeader
                                >= m_format.sampleRate() * flushIntervalMs / 1000;
    return due ? flush() : Result<>();
}

bool SpoolFile::waitFor(qint64 frames) const
{
    // the writer is at most a moment behind, or has failed and will write nothing more
    std::unique_lock lock(m_mutex);
    m_written.wait(lock, [&] { return m_frames >= frames || m_failed; });
    return m_frames >= frames;
}

void SpoolFile::abandon()
{
    if (!m_failed)
        fail(0);
}

Result<qint64> SpoolFile::read(qint64 at, char *out, qint64 frames) const
{
    waitFor(at + frames);
    const int frameBytes = m_format.bytesPerFrame();
    const qint64 wanted = std::max<qint64>(std::min(frames, m_frames - at), 0) * frameBytes;
    qint64 done = 0;
    while (done < wanted) {
        const ssize_t n = ::pread(m_fd.get(),
                                  out + done,
                                  size_t(wanted - done),
                                  SpoolHeader::size + at * frameBytes + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return MediaTexts::systemFailure(errno);
        if (n == 0)
            break;
        done += n;
    }
    return done / frameBytes;
}

qint64 SpoolFile::dataOffset() const
{
    return SpoolHeader::size;
}

Result<> SpoolFile::flush()
{
    m_sinceFlush.start();
    if (m_failed)
        return MediaTexts::spoolFailure(EIO);
    const qint64 frames = m_frames;
    if (!writeHeader().ok() || !m_fs.fdatasync(m_fd.get()))
        return fail(errno);
    m_durable = frames;
    return {};
}

Failure SpoolFile::fail(int errorNumber)
{
    // What the last flush put on the disk is all the spool keeps: a failed flush is not
    // retried by the system, and the sound it concerned may be gone. The file is cut back to
    // that and its header says so, as far as the disk still lets either happen.
    const qint64 kept = m_durable;
    {
        const std::lock_guard lock(m_mutex);
        m_failed = true;
        m_frames = kept;
    }
    m_written.notify_all();
    if (::ftruncate(m_fd.get(), SpoolHeader::size + kept * m_format.bytesPerFrame()) != 0
        || !writeHeader().ok())
        qCWarning(lcMedia) << "could not cut the spool back to what is on the disk:"
                           << MediaTexts::systemError(errno);
    return MediaTexts::spoolFailure(errorNumber);
}

void SpoolFile::remove()
{
    if (m_path.isEmpty())
        return;
    ::unlink(QFile::encodeName(journalPath()).constData());
    ::unlink(QFile::encodeName(TakeJournal::nextPathFor(journalPath())).constData());
    ::unlink(QFile::encodeName(m_path).constData());
    m_path.clear();
}

Result<> SpoolFile::writeHeader()
{
    const qint64 frames = m_frames;
    const QByteArray header = SpoolHeader::make(m_format, frames * m_format.bytesPerFrame());
    if (!m_fs.writeAll(m_fd.get(), header.constData(), header.size(), 0))
        return MediaTexts::systemFailure(errno);
    m_framesInHeader = frames;
    return {};
}
