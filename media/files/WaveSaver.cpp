#include "media/files/WaveSaver.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/files/EncodedFileWriter.h"
#include "media/files/SaveFormat.h"
#include "media/files/SndFile.h"
#include "media/files/WaveFileHeader.h"
#include "media/take/Waveform.h"
#include "platform/PositionedWrite.h"
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
        return Failure(
                MediaTexts::cannotSave(QStringLiteral(u"录音超过 4 GB，这种声音格式无法保存")));
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

Failure writeFailure(int errorNumber, const QString &detail)
{
    return Failure(
            MediaTexts::cannotSave(errorNumber ? MediaTexts::systemError(errorNumber) : detail));
}

Failure systemFailure(int errorNumber)
{
    return Failure(MediaTexts::cannotSave(MediaTexts::systemError(errorNumber)));
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
bool copyRange(int from, qint64 fromOffset, int to, qint64 toOffset, qint64 bytes)
{
    bool kernel = true;
    std::vector<char> buffer;
    while (bytes > 0) {
        if (kernel) {
            loff_t in = fromOffset;
            loff_t out = toOffset;
            const ssize_t n = ::copy_file_range(from, &in, to, &out, size_t(bytes), 0);
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
        if (!pwriteAll(to, buffer.data(), got, toOffset))
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
    const QByteArray header = WaveFileHeader::make(fileFormat, waveform.frames());
    if (!pwriteAll(fd, header.constData(), header.size(), 0))
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
            if (!copyRange(source.fd,
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
    if (((at - header.size()) & 1) && !pwriteAll(fd, "", 1, at))
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
        const qint64 got = waveform.read(at, buffer.data(), wanted);
        if (got != wanted)
            return Failure(MediaTexts::cannotSave(QStringLiteral(u"无法读取录音数据")));
        errno = 0;
        if (out.write(format.sampleType(), buffer.data(), got) != got)
            return writeFailure(errno, out.errorText());
        at += got;
        advance(progress, got);
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

    const QString targetPath = target.absoluteFilePath();
    QByteArray tempName = QFile::encodeName(target.absolutePath() + QStringLiteral(u"/.")
                                            + target.fileName()
                                            + QStringLiteral(u".tapewren-XXXXXX"));
    UniqueFd fd(::mkostemp(tempName.data(), O_CLOEXEC));
    if (!fd.isValid())
        return systemFailure(errno);

    // from here on, every way out but the last removes the temporary file
    auto fail = [&](Failure why) {
        fd.reset();
        ::unlink(tempName.constData());
        return why;
    };

    struct stat old = {};
    const bool replacing = ::stat(QFile::encodeName(targetPath).constData(), &old) == 0;
    if (::fchmod(fd.get(), replacing ? (old.st_mode & 07777) : newFileMode()) != 0)
        return fail(systemFailure(errno));

    const WaveFormat written(format.sampleRate(), format.channels(), fileFormat.value());
    const Result<> body = !saveAs.isWave()
                                  ? EncodedFileWriter::write(waveform, fd.get(), saveAs, progress)
                          : method == Method::Fastest && copyable(waveform, fileFormat.value())
                                  ? writeCopy(waveform, fd.get(), written, progress)
                                  : writeConverted(waveform, fd.get(), written, progress);
    if (!body.ok())
        return fail(body.failure());
    if (wantsToStop(progress))
        return fail(cancelled());
    if (::fsync(fd.get()) != 0 || !fd.close())
        return fail(writeFailure(errno, {}));
    if (::rename(tempName.constData(), QFile::encodeName(targetPath).constData()) != 0)
        return fail(systemFailure(errno));

    // make the rename itself durable; the file is whole either way
    UniqueFd folder(::open(QFile::encodeName(target.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isValid() || ::fsync(folder.get()) != 0)
        qCWarning(lcMedia) << "could not flush the folder of" << targetPath << ":"
                           << MediaTexts::systemError(errno);
    return {};
}
