#include "media/WaveSaver.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/SndFile.h"
#include "media/Waveform.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr qint64 chunkBytes = 1 << 20;

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

} // namespace

Result<> WaveSaver::save(Waveform &waveform, const QString &path)
{
    const QFileInfo target(path);
    if (target.isDir())
        return systemFailure(EISDIR);
    const WaveFormat &format = waveform.format();
    const Result<int> fileFormat = saveFormat(format, waveform.frames());
    if (!fileFormat.ok())
        return Failure(fileFormat.reason());

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

    Result<SndFile> opened = SndFile::openWrite(fd.get(),
                                                WaveFormat(format.sampleRate(),
                                                           format.channels(),
                                                           fileFormat.value()));
    if (!opened.ok())
        return fail(Failure(opened.reason()));
    SndFile &out = opened.value();

    const qint64 chunkFrames = std::max<qint64>(1, chunkBytes / format.bytesPerFrame());
    std::vector<char> buffer(std::size_t(chunkFrames * format.bytesPerFrame()));
    const qint64 total = waveform.frames();
    for (qint64 at = 0; at < total;) {
        const qint64 wanted = std::min(chunkFrames, total - at);
        const qint64 got = waveform.read(at, buffer.data(), wanted);
        if (got != wanted)
            return fail(Failure(MediaTexts::cannotSave(QStringLiteral(u"无法读取录音数据"))));
        errno = 0;
        if (out.write(format.sampleType(), buffer.data(), got) != got)
            return fail(writeFailure(errno, out.errorText()));
        at += got;
    }
    errno = 0;
    if (!out.close())
        return fail(writeFailure(errno, QStringLiteral(u"写入文件头失败")));
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
