#include "recorder/Waveform.h"

#include "recorder/MediaTexts.h"
#include "recorder/WaveHeaderCheck.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

Waveform::Waveform(const WaveFormat &format)
    : m_format(format)
{}

std::unique_ptr<Waveform> Waveform::open(const QString &path, QString *reason)
{
    UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.isValid()) {
        *reason = MediaTexts::cannotOpen(MediaTexts::systemError(errno));
        return nullptr;
    }
    struct stat st = {};
    if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) {
        *reason = MediaTexts::cannotOpen(
                MediaTexts::systemError(S_ISDIR(st.st_mode) ? EISDIR : errno));
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        *reason = MediaTexts::cannotOpen(QStringLiteral(u"不是普通文件"));
        return nullptr;
    }
    {
        QFile header;
        if (!header.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            *reason = MediaTexts::cannotOpen(header.errorString());
            return nullptr;
        }
        *reason = WaveHeaderCheck::problem(header);
        if (!reason->isEmpty())
            return nullptr;
    }

    SndFile file = SndFile::openRead(std::move(fd), reason);
    if (!file.isOpen())
        return nullptr;
    const int container = file.info().format & SF_FORMAT_TYPEMASK;
    if (container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX && container != SF_FORMAT_RF64
        && container != SF_FORMAT_W64) {
        *reason = MediaTexts::notWave();
        return nullptr;
    }
    const SF_INFO &info = file.info();
    if (info.channels < 1 || info.channels > WaveHeaderCheck::maxChannels
        || info.samplerate < WaveHeaderCheck::minSampleRate
        || info.samplerate > WaveHeaderCheck::maxSampleRate || info.frames < 0) {
        *reason = MediaTexts::damaged(QStringLiteral(u"文件头中的数值不合理"));
        return nullptr;
    }

    auto waveform = std::make_unique<Waveform>(file.format());
    waveform->m_frames = info.frames;
    if (info.frames > 0)
        waveform->m_pieces.push_back({Piece::File, 0, info.frames});
    waveform->m_file = std::move(file);
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

bool Waveform::beginInsert(qint64 at, QString *reason)
{
    endInsert();
    if (!m_spool.isValid()) {
        m_spool = m_spoolFolder.isEmpty() ? SpoolFile::create(reason)
                                          : SpoolFile::create(m_spoolFolder, reason);
        if (!m_spool.isValid())
            return false;
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
        return true;
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
    return true;
}

bool Waveform::appendInserted(const char *data, qint64 frames, int *errorNumber)
{
    if (m_insertPiece < 0 || frames <= 0)
        return m_insertPiece >= 0;
    if (!m_spool.append(data, frames * m_format.bytesPerFrame(), errorNumber))
        return false;
    m_spoolFrames += frames;
    m_pieces[std::size_t(m_insertPiece)].frames += frames;
    m_frames += frames;
    return true;
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
