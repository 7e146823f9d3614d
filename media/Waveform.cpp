#include "media/Waveform.h"

#include "media/MediaTexts.h"
#include "media/WaveHeaderCheck.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

Waveform::Waveform(const WaveFormat &format)
    : m_format(format)
{}

Result<std::unique_ptr<Waveform>> Waveform::open(const QString &path)
{
    UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.isValid())
        return Failure(MediaTexts::cannotOpen(MediaTexts::systemError(errno)));
    struct stat st = {};
    if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode))
        return Failure(MediaTexts::cannotOpen(
                MediaTexts::systemError(S_ISDIR(st.st_mode) ? EISDIR : errno)));
    if (!S_ISREG(st.st_mode))
        return Failure(MediaTexts::cannotOpen(QStringLiteral(u"不是普通文件")));
    {
        QFile header;
        if (!header.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            return Failure(MediaTexts::cannotOpen(header.errorString()));
        if (const Result<> checked = WaveHeaderCheck::check(header); !checked.ok())
            return Failure(checked.reason());
    }

    Result<SndFile> file = SndFile::openRead(std::move(fd));
    if (!file.ok())
        return Failure(file.reason());
    const SF_INFO &info = file->info();
    const int container = info.format & SF_FORMAT_TYPEMASK;
    if (container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX && container != SF_FORMAT_RF64
        && container != SF_FORMAT_W64)
        return Failure(MediaTexts::notWave());
    if (info.channels < 1 || info.channels > WaveHeaderCheck::maxChannels
        || info.samplerate < WaveHeaderCheck::minSampleRate
        || info.samplerate > WaveHeaderCheck::maxSampleRate || info.frames < 0)
        return Failure(MediaTexts::damaged(QStringLiteral(u"文件头中的数值不合理")));

    auto waveform = std::make_unique<Waveform>(file->format());
    waveform->m_frames = info.frames;
    if (info.frames > 0)
        waveform->m_pieces.push_back({Piece::File, 0, info.frames});
    waveform->m_file = std::move(file.value());
    return waveform;
}

qint64 Waveform::read(qint64 start, void *out, qint64 frames)
{
    char *to = static_cast<char *>(out);
    const int frameBytes = m_format.bytesPerFrame();
    qint64 done = 0;
    qint64 pieceStart = 0;
    for (const Piece &piece : m_pieces) {
        if (done >= frames)
            break;
        const qint64 pieceEnd = pieceStart + piece.frames;
        const qint64 at = start + done;
        if (at < pieceEnd) {
            const qint64 offset = at - pieceStart;
            const qint64 wanted = std::min(frames - done, piece.frames - offset);
            const qint64 got = readPiece(piece, offset, to + done * frameBytes, wanted);
            done += got;
            if (got < wanted)
                break;
        }
        pieceStart = pieceEnd;
    }
    return done;
}

qint64 Waveform::readPiece(const Piece &piece, qint64 offset, char *out, qint64 frames)
{
    if (piece.source == Piece::File)
        return m_file.read(piece.start + offset, m_format.sampleType(), out, frames);
    const int frameBytes = m_format.bytesPerFrame();
    return m_spool.readAt((piece.start + offset) * frameBytes, out, frames * frameBytes)
           / frameBytes;
}

Result<> Waveform::beginInsert(qint64 at)
{
    endInsert();
    if (!m_spool.isValid()) {
        Result<SpoolFile> spool = m_spoolFolder.isEmpty() ? SpoolFile::create()
                                                          : SpoolFile::create(m_spoolFolder);
        if (!spool.ok())
            return Failure(spool.reason());
        m_spool = std::move(spool.value());
    }
    at = std::clamp<qint64>(at, 0, m_frames);

    qint64 pieceStart = 0;
    std::size_t index = 0;
    while (index < m_pieces.size() && pieceStart + m_pieces[index].frames < at) {
        pieceStart += m_pieces[index].frames;
        ++index;
    }
    // recording on at the end of the latest recording grows that piece
    if (index < m_pieces.size() && pieceStart + m_pieces[index].frames == at
        && m_pieces[index].source == Piece::Spool
        && m_pieces[index].start + m_pieces[index].frames == m_spoolFrames) {
        m_insertPiece = qint64(index);
        m_insertStartFrames = m_pieces[index].frames;
        return {};
    }
    if (index < m_pieces.size() && at > pieceStart && at < pieceStart + m_pieces[index].frames) {
        Piece tail = m_pieces[index];
        const qint64 split = at - pieceStart;
        m_pieces[index].frames = split;
        tail.start += split;
        tail.frames -= split;
        m_pieces.insert(m_pieces.begin() + qsizetype(index) + 1, tail);
        ++index;
    } else if (index < m_pieces.size() && at == pieceStart + m_pieces[index].frames) {
        ++index;
    }
    m_pieces.insert(m_pieces.begin() + qsizetype(index), Piece{Piece::Spool, m_spoolFrames, 0});
    m_insertPiece = qint64(index);
    m_insertStartFrames = 0;
    return {};
}

Result<> Waveform::appendInserted(const char *data, qint64 frames)
{
    if (m_insertPiece < 0)
        return Failure(MediaTexts::spoolFailedRecording());
    if (frames <= 0)
        return {};
    if (Result<> appended = m_spool.append(data, frames * m_format.bytesPerFrame()); !appended.ok())
        return appended;
    m_spoolFrames += frames;
    m_pieces[std::size_t(m_insertPiece)].frames += frames;
    m_frames += frames;
    return {};
}

qint64 Waveform::insertedFrames() const
{
    if (m_insertPiece < 0)
        return 0;
    return m_pieces[std::size_t(m_insertPiece)].frames - m_insertStartFrames;
}

void Waveform::endInsert()
{
    if (m_insertPiece >= 0 && m_pieces[std::size_t(m_insertPiece)].frames == 0)
        m_pieces.erase(m_pieces.begin() + qsizetype(m_insertPiece));
    m_insertPiece = -1;
    m_insertStartFrames = 0;
}
