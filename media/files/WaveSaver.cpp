#include "media/files/WaveSaver.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/files/EncodedFileWriter.h"
#include "media/files/PendingSave.h"
#include "media/files/SaveFormat.h"
#include "media/files/SndFile.h"
#include "media/files/WaveFileHeader.h"
#include "media/take/Waveform.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

// What the libsndfile path converts at a time.
constexpr qint64 chunkBytes = 1 << 20;
// What a copy moves at a time: large enough for the kernel to stream, small enough for the
// progress to move and a cancel to be heard.
constexpr qint64 copyBytes = 16 << 20;

// The container a waveform is written in: RIFF WAVE as long as the sizes fit, RF64 beyond.
Result<int> saveFormat(const WaveFormat &format, qint64 frames)
{
    const int encoding = format.encoding();
    const int container = format.sndfileFormat() & SF_FORMAT_TYPEMASK;
    if (format.encodedBytes(frames) <= WaveSaver::riffLimit)
        return (container == SF_FORMAT_WAVEX ? SF_FORMAT_WAVEX : SF_FORMAT_WAV) | encoding;
    SF_INFO info{};
    info.samplerate = format.sampleRate();
    info.channels = format.channels();
    info.format = SF_FORMAT_RF64 | encoding;
    if (!sf_format_check(&info))
        return Failure(QStringLiteral(u"录音超过 4 GB，这种声音格式无法保存"));
    return info.format;
}

mode_t newFileMode()
{
    // the umask, read without changing it
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                return 0666 & ~mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 0644;
}

// The system's reason when there is one, else the detail.
Failure writeFailure(int errorNumber, const QString &detail)
{
    return errorNumber ? MediaTexts::systemFailure(errorNumber) : Failure(Failure::Io, detail);
}

Failure systemFailure(int errorNumber)
{
    return MediaTexts::systemFailure(errorNumber);
}

Failure cancelled()
{
    return Failure(Failure::Cancelled, MediaTexts::saveCancelled());
}

bool wantsToStop(WaveSaver::Progress *progress)
{
    return progress && progress->cancel.load();
}

void advance(WaveSaver::Progress *progress, qint64 frames)
{
    if (progress)
        progress->written += frames;
}

// Copies bytes from one file to another, in the kernel where it can; with read and write
// where it cannot (another file system in between, an old kernel).
bool copyRange(FileSystem &fs, int from, qint64 fromOffset, int to, qint64 toOffset, qint64 bytes)
{
    bool kernel = true;
    std::vector<char> buffer;
    while (bytes > 0) {
        if (kernel) {
            off_t in = fromOffset;
            off_t out = toOffset;
            const ssize_t n = fs.copyFileRange(from, &in, to, &out, size_t(bytes));
            if (n > 0) {
                fromOffset += n;
                toOffset += n;
                bytes -= n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP
                && errno != EBADF)
                return false;
            if (n == 0 && bytes > 0) {
                errno = EIO; // the source ended before its piece did
                return false;
            }
            kernel = false;
            buffer.resize(std::size_t(std::min<qint64>(bytes, chunkBytes)));
        }
        const qint64 part = std::min<qint64>(bytes, qint64(buffer.size()));
        const ssize_t got = ::pread(from, buffer.data(), size_t(part), fromOffset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = EIO;
            return false;
        }
        if (!fs.writeAll(to, buffer.data(), got, toOffset))
            return false;
        fromOffset += got;
        toOffset += got;
        bytes -= got;
    }
    return true;
}

// Every piece holds the file's encoding byte for byte.
bool copyable(const Waveform &waveform, int fileFormat)
{
    const int container = fileFormat & SF_FORMAT_TYPEMASK;
    if (container != SF_FORMAT_WAV && container != SF_FORMAT_RF64)
        return false; // the extensible header is libsndfile's to write
    for (const WavePiece &piece : waveform.pieces()) {
        if (waveform.source(piece).offset < 0)
            return false;
    }
    return true;
}

// The header, then each piece's bytes where they lie.
Result<> writeCopy(Waveform &waveform,
                   int fd,
                   const WaveFormat &fileFormat,
                   WaveSaver::Progress *progress)
{
    FileSystem &fs = waveform.fileSystem();
    const QByteArray header = WaveFileHeader::make(fileFormat, waveform.frames());
    if (!fs.writeAll(fd, header.constData(), header.size(), 0))
        return writeFailure(errno, {});
    const qint64 frameBytes = WaveFileHeader::sampleBytes(fileFormat.encoding())
                              * fileFormat.channels();
    qint64 at = header.size();
    for (const WavePiece &piece : waveform.pieces()) {
        const Waveform::Source source = waveform.source(piece);
        const qint64 framesAtATime = std::max<qint64>(1, copyBytes / frameBytes);
        for (qint64 done = 0; done < piece.frames;) {
            if (wantsToStop(progress))
                return cancelled();
            const qint64 frames = std::min(framesAtATime, piece.frames - done);
            if (!copyRange(fs,
                           source.fd,
                           source.offset + (piece.start + done) * frameBytes,
                           fd,
                           at,
                           frames * frameBytes))
                return writeFailure(errno, QStringLiteral(u"无法复制录音数据"));
            at += frames * frameBytes;
            done += frames;
            advance(progress, frames);
        }
    }
    // an odd-sized data chunk is followed by a pad byte
    if (((at - header.size()) & 1) && !fs.writeAll(fd, "", 1, at))
        return writeFailure(errno, {});
    return {};
}

// Every sample through libsndfile, which encodes it.
Result<> writeConverted(Waveform &waveform,
                        int fd,
                        const WaveFormat &fileFormat,
                        WaveSaver::Progress *progress)
{
    Result<SndFile> opened = SndFile::openWrite(fd, fileFormat);
    if (!opened.ok())
        return opened.failure();
    SndFile &out = opened.value();
    const WaveFormat &format = waveform.format();
    const qint64 chunkFrames = std::max<qint64>(1, chunkBytes / format.bytesPerFrame());
    std::vector<char> buffer(std::size_t(chunkFrames * format.bytesPerFrame()));
    const qint64 total = waveform.frames();
    for (qint64 at = 0; at < total;) {
        if (wantsToStop(progress))
            return cancelled();
        const qint64 wanted = std::min(chunkFrames, total - at);
        const Result<qint64> got = waveform.read(at, buffer.data(), wanted);
        if (!got.ok())
            return got.failure();
        if (got.value() != wanted)
            return Failure(Failure::Io, MediaTexts::cannotReadRecording());
        errno = 0;
        if (out.write(format.sampleType(), buffer.data(), wanted) != wanted)
            return writeFailure(errno, out.errorText());
        at += wanted;
        advance(progress, wanted);
    }
    errno = 0;
    if (!out.close())
        return writeFailure(errno, QStringLiteral(u"写入文件头失败"));
    return {};
}

} // namespace

Result<> WaveSaver::save(Waveform &waveform, const QString &path, Progress *progress, Method method)
{
    const QFileInfo target(path);
    if (target.isDir())
        return systemFailure(EISDIR);
    const SaveFormat &saveAs = SaveFormat::forPath(path);
    const WaveFormat &source = waveform.format();
    const WaveFormat format(source.sampleRate(), source.channels(), saveAs.fileFormat(source));
    const Result<int> fileFormat = saveAs.isWave() ? saveFormat(format, waveform.frames())
                                                   : Result<int>(format.sndfileFormat());
    if (!fileFormat.ok())
        return fileFormat.failure();
    if (progress)
        progress->total = waveform.frames();

    // the spool's last frames may still be on their way to the disk
    if (Result<> settled = waveform.settle(); !settled.ok())
        return settled;
    // Until it is committed, the temporary file goes with `pending` on every way out, the old
    // file at the target staying as it was.
    Result<PendingSave> pending = PendingSave::begin(target.absoluteFilePath(),
                                                     waveform.spoolFolder(),
                                                     waveform.fileSystem());
    if (!pending.ok())
        return pending.failure();
    const int fd = pending->fd();
    struct stat old = {};
    const bool replacing = ::stat(QFile::encodeName(target.absoluteFilePath()).constData(), &old)
                           == 0;
    if (::fchmod(fd, replacing ? (old.st_mode & 07777) : newFileMode()) != 0)
        return systemFailure(errno);

    const WaveFormat written(format.sampleRate(), format.channels(), fileFormat.value());
    const Result<> body = !saveAs.isWave()
                                  ? EncodedFileWriter::write(waveform, fd, saveAs, progress)
                          : method == Method::Fastest && copyable(waveform, fileFormat.value())
                                  ? writeCopy(waveform, fd, written, progress)
                                  : writeConverted(waveform, fd, written, progress);
    if (!body.ok())
        return body;
    if (Result<> flushed = pending->flush(); !flushed.ok())
        return flushed;
    // The last moment a Cancel can still leave the old file as it was; once renamed, the
    // save has happened and is reported so.
    if (wantsToStop(progress))
        return cancelled();
    return pending->commit();
}
