#include "media/take/SpoolFile.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/take/SpoolHeader.h"
#include "media/take/TakeJournal.h"
#include "platform/PositionedWrite.h"

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

Result<SpoolFile> SpoolFile::create(const QString &folder, const WaveFormat &format)
{
    if (!makeFolder(folder))
        return cannotCreate(errno);
    QByteArray name = QFile::encodeName(folder) + "/take-XXXXXX.wav";
    SpoolFile spool;
    spool.m_fd.reset(::mkostemps(name.data(), 4, O_CLOEXEC)); // owner-only, as mkstemp makes it
    if (!spool.m_fd.isValid())
        return cannotCreate(errno);
    spool.m_path = QFile::decodeName(name);
    spool.m_format = format;
    if (::flock(spool.m_fd.get(), LOCK_EX | LOCK_NB) != 0 || !spool.writeHeader().ok()) {
        const int errorNumber = errno;
        spool.remove();
        return cannotCreate(errorNumber);
    }
    return spool;
}

Result<SpoolFile> SpoolFile::adopt(const QString &path)
{
    SpoolFile spool;
    spool.m_path = path;
    spool.m_fd.reset(::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    if (!spool.m_fd.isValid())
        return MediaTexts::systemFailure(errno);
    if (::flock(spool.m_fd.get(), LOCK_EX | LOCK_NB) != 0)
        return Failure(QStringLiteral(u"录音临时文件正在被另一个 Tapewren 使用"));

    QByteArray header(SpoolHeader::size, '\0');
    struct stat st = {};
    ssize_t got = -1;
    if (::fstat(spool.m_fd.get(), &st) == 0 && S_ISREG(st.st_mode))
        got = ::pread(spool.m_fd.get(), header.data(), header.size(), 0);
    if (got < SpoolHeader::unpaddedSize)
        return Failure(QStringLiteral(u"录音临时文件是空的或不完整"));
    header.truncate(got);
    const Result<SpoolHeader::Contents> contents = SpoolHeader::parse(header);
    if (!contents.ok())
        return contents.failure();
    spool.m_format = formatOf(contents.value());
    spool.m_headerSize = contents->headerSize;
    // The header is rewritten once a second, the sound written as it comes: whole frames of what
    // the file holds count, past the header's last rewrite too.
    const qint64 present = qint64(st.st_size) - spool.m_headerSize;
    spool.m_frames = present / spool.m_format.bytesPerFrame();
    if (spool.m_frames <= 0)
        return Failure(QStringLiteral(u"录音临时文件里没有完整的声音"));
    if (!spool.writeHeader().ok())
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
    const qint64 bytes = frames * m_format.bytesPerFrame();
    const qint64 at = m_headerSize + m_frames * m_format.bytesPerFrame();
    if (!pwriteAll(m_fd.get(), data, bytes, at)) {
        const int errorNumber = errno;
        // drop the partial tail so the spool stays whole frames; the header bounds every read
        // even when that fails
        if (::ftruncate(m_fd.get(), at) != 0)
            qCWarning(lcMedia) << "could not cut the spool back to whole frames:"
                               << MediaTexts::systemError(errno);
        return MediaTexts::spoolFailure(errorNumber);
    }
    m_frames += frames;
    // Counted in sound as well as in time: the server may hand over more than a second's sound
    // within a second, at the start of a take above all.
    const bool due = !m_sinceFlush.isValid() || m_sinceFlush.elapsed() >= flushIntervalMs
                     || m_frames - m_framesInHeader
                                >= m_format.sampleRate() * flushIntervalMs / 1000;
    if (due) {
        // the take goes on either way; what is written stays in the page cache until it can
        if (const Result<> flushed = flush(); !flushed.ok())
            qCWarning(lcMedia).noquote() << "could not flush the spool:" << flushed.reason();
    }
    return {};
}

Result<qint64> SpoolFile::read(qint64 at, char *out, qint64 frames) const
{
    const int frameBytes = m_format.bytesPerFrame();
    const qint64 wanted = std::min(frames, m_frames - at) * frameBytes;
    qint64 done = 0;
    while (done < wanted) {
        const ssize_t n = ::pread(m_fd.get(),
                                  out + done,
                                  size_t(wanted - done),
                                  m_headerSize + at * frameBytes + done);
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
    return m_headerSize;
}

Result<SpoolFile> SpoolFile::readView() const
{
    SpoolFile view;
    view.m_fd.reset(::fcntl(m_fd.get(), F_DUPFD_CLOEXEC, 0));
    if (!view.m_fd.isValid())
        return MediaTexts::systemFailure(errno);
    view.m_format = m_format;
    view.m_frames = m_frames;
    view.m_headerSize = m_headerSize;
    return view;
}

Result<> SpoolFile::flush()
{
    m_sinceFlush.start();
    if (!m_fd.isValid())
        return {};
    if (const Result<> described = writeHeader(); !described.ok())
        return MediaTexts::spoolFailure(errno);
    if (::fdatasync(m_fd.get()) != 0)
        return MediaTexts::spoolFailure(errno);
    return {};
}

void SpoolFile::remove()
{
    if (m_path.isEmpty())
        return;
    ::unlink(QFile::encodeName(journalPath()).constData());
    ::unlink(QFile::encodeName(TakeJournal::nextPathFor(journalPath())).constData());
    ::unlink(QFile::encodeName(m_path).constData());
    m_fd.reset();
    m_path.clear();
    m_frames = 0;
    m_framesInHeader = 0;
}

Result<> SpoolFile::writeHeader()
{
    const QByteArray header = SpoolHeader::make(m_format,
                                                m_frames * m_format.bytesPerFrame(),
                                                m_headerSize);
    if (!pwriteAll(m_fd.get(), header.constData(), header.size(), 0))
        return MediaTexts::systemFailure(errno);
    m_framesInHeader = m_frames;
    return {};
}
