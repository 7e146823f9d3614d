#include "media/take/Waveform.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/files/CompressedFile.h"
#include "media/files/WaveHeaderCheck.h"
#include "media/take/TakeJournal.h"
#include "platform/StateFolder.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <iterator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Encodings whose bytes in a WAV file are the samples themselves, frame after frame.
constexpr int plainEncodings[] = {SF_FORMAT_PCM_U8,
                                  SF_FORMAT_PCM_16,
                                  SF_FORMAT_PCM_24,
                                  SF_FORMAT_PCM_32,
                                  SF_FORMAT_FLOAT,
                                  SF_FORMAT_DOUBLE,
                                  SF_FORMAT_ULAW,
                                  SF_FORMAT_ALAW};

} // namespace

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
    QByteArray start(CompressedFile::sniffBytes, '\0');
    start.truncate(std::max<ssize_t>(0, ::pread(fd.get(), start.data(), start.size(), 0)));
    const CompressedFile::Kind compressed = CompressedFile::sniff(start);
    // WAV files are checked chunk by chunk before libsndfile sees them
    Result<WaveHeaderCheck::Layout> layout = WaveHeaderCheck::Layout{};
    if (compressed == CompressedFile::Kind::None) {
        QFile header;
        if (!header.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            return Failure(MediaTexts::cannotOpen(header.errorString()));
        layout = WaveHeaderCheck::check(header);
        if (!layout.ok())
            return layout.failure();
    }

    Result<SndFile> file = SndFile::openRead(std::move(fd));
    if (!file.ok() && compressed != CompressedFile::Kind::None)
        return Failure(Failure::BadFile, file.reason());
    if (!file.ok())
        return file.failure();
    const SF_INFO &info = file->info();
    const int container = info.format & SF_FORMAT_TYPEMASK;
    if (compressed != CompressedFile::Kind::None) {
        if (Result<> whole = CompressedFile::check(file.value(), compressed); !whole.ok())
            return whole.failure();
    } else if (container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX
               && container != SF_FORMAT_RF64 && container != SF_FORMAT_W64) {
        return Failure(MediaTexts::notWave());
    }
    if (info.channels < 1 || info.channels > WaveHeaderCheck::maxChannels
        || info.samplerate < WaveHeaderCheck::minSampleRate
        || info.samplerate > WaveHeaderCheck::maxSampleRate || info.frames < 0)
        return Failure(MediaTexts::damaged(QStringLiteral(u"文件头中的数值不合理")));

    auto waveform = std::make_unique<Waveform>(file->format());
    waveform->m_frames = info.frames;
    if (info.frames > 0)
        waveform->m_pieces.push_back({WavePiece::File, 0, info.frames});
    waveform->m_file = std::move(file.value());
    waveform->m_filePath = QFileInfo(path).absoluteFilePath();
    waveform->m_fileSize = qint64(st.st_size);
    waveform->m_fileModifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    waveform->m_fileDecoded = compressed != CompressedFile::Kind::None;
    if (!waveform->m_fileDecoded && storedAsEncoded(info, layout.value()))
        waveform->m_fileDataOffset = layout->dataOffset;
    return waveform;
}

bool Waveform::storedAsEncoded(const SF_INFO &info, const WaveHeaderCheck::Layout &layout)
{
    const WaveFormat format(info.samplerate, info.channels, info.format);
    const bool plain = std::find(std::begin(plainEncodings),
                                 std::end(plainEncodings),
                                 format.encoding())
                       != std::end(plainEncodings);
    return plain && !layout.bigEndian && (info.format & SF_FORMAT_ENDMASK) != SF_ENDIAN_BIG
           && format.encodedBytes(info.frames) <= layout.dataBytes;
}

Result<std::unique_ptr<Waveform>> Waveform::readOnlyCopy() const
{
    auto copy = std::make_unique<Waveform>(m_format);
    copy->m_pieces = m_pieces;
    copy->m_frames = m_frames;
    copy->m_filePath = m_filePath;
    copy->m_fileModifiedMs = m_fileModifiedMs;
    copy->m_fileDataOffset = m_fileDataOffset;
    copy->m_fileDecoded = m_fileDecoded;
    copy->m_started = m_started;
    if (m_file.isOpen()) {
        // a description of its own: libsndfile's reads seek, and the original reads meanwhile
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_file.fd());
        UniqueFd fd(::open(self.constData(), O_RDONLY | O_CLOEXEC));
        if (!fd.isValid())
            return Failure(MediaTexts::cannotSave(QStringLiteral(u"无法读取录音数据")));
        Result<SndFile> file = SndFile::openRead(std::move(fd));
        if (!file.ok())
            return file.failure();
        copy->m_file = std::move(file.value());
    }
    if (m_spool.isValid()) {
        Result<SpoolFile> spool = m_spool.readView();
        if (!spool.ok())
            return spool.failure();
        copy->m_spool = std::move(spool.value());
    }
    return copy;
}

Waveform::Source Waveform::source(const WavePiece &piece) const
{
    if (piece.source == WavePiece::Spool) {
        // the spool holds the waveform's sample type, which is its encoding only for these
        const int encoding = m_format.encoding();
        const bool asEncoded = encoding == SF_FORMAT_PCM_16 || encoding == SF_FORMAT_PCM_32
                               || encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE;
        return {m_spool.fd(), asEncoded ? m_spool.dataOffset() : -1};
    }
    return {m_file.fd(), m_fileDataOffset};
}

namespace {

// The journal's pieces with the growing one run on to the end of the spool, when every piece
// lies inside its source; otherwise nothing.
std::vector<WavePiece> journalPieces(const TakeJournal &journal,
                                     qint64 spoolFrames,
                                     qint64 fileFrames,
                                     bool withFile)
{
    std::vector<WavePiece> pieces;
    for (std::size_t i = 0; i < journal.pieces.size(); ++i) {
        WavePiece piece = journal.pieces[i];
        if (piece.source == WavePiece::File && !withFile)
            continue;
        if (int(i) == journal.growingPiece && piece.source == WavePiece::Spool)
            piece.frames = spoolFrames - piece.start;
        const qint64 sourceFrames = piece.source == WavePiece::File ? fileFrames : spoolFrames;
        if (piece.start < 0 || piece.frames < 0 || piece.start + piece.frames > sourceFrames)
            return {};
        if (piece.frames > 0)
            pieces.push_back(piece);
    }
    return pieces;
}

bool sameLayout(const WaveFormat &a, const WaveFormat &b)
{
    return a.sampleRate() == b.sampleRate() && a.channels() == b.channels()
           && a.sampleType() == b.sampleType();
}

} // namespace

std::unique_ptr<Waveform> Waveform::recover(SpoolFile spool,
                                            const TakeJournal *journal,
                                            std::unique_ptr<Waveform> file)
{
    if (journal && !sameLayout(journal->format, spool.format()))
        journal = nullptr;
    if (file
        && (!journal || file->format().sndfileFormat() != journal->format.sndfileFormat()
            || !sameLayout(file->format(), journal->format)))
        file.reset();

    std::vector<WavePiece> pieces;
    if (journal)
        pieces = journalPieces(*journal,
                               spool.frames(),
                               file ? file->frames() : 0,
                               file != nullptr);
    if (pieces.empty()) {
        file.reset();
        pieces = {{WavePiece::Spool, 0, spool.frames()}};
    }

    auto waveform = file ? std::move(file)
                         : std::make_unique<Waveform>(journal ? journal->format : spool.format());
    waveform->m_pieces = std::move(pieces);
    waveform->m_frames = 0;
    for (const WavePiece &piece : waveform->m_pieces)
        waveform->m_frames += piece.frames;
    waveform->m_started = journal && journal->started.isValid() ? journal->started
                                                                : QDateTime::currentDateTime();
    waveform->m_spool = std::move(spool);
    return waveform;
}

qint64 Waveform::read(qint64 start, void *out, qint64 frames)
{
    char *to = static_cast<char *>(out);
    const int frameBytes = m_format.bytesPerFrame();
    qint64 done = 0;
    qint64 pieceStart = 0;
    for (const WavePiece &piece : m_pieces) {
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

qint64 Waveform::readPiece(const WavePiece &piece, qint64 offset, char *out, qint64 frames)
{
    if (piece.source == WavePiece::Spool)
        return m_spool.read(piece.start + offset, out, frames);
    const qint64 got = m_file.read(piece.start + offset, m_format.sampleType(), out, frames);
    if (got == frames || !m_fileDecoded)
        return got;
    // A decoder that stops short (a damaged frame; an MP3 whose length was estimated from its
    // size) gives silence for the rest, so the recording keeps the length it was opened with.
    if (!m_decoderFellShort)
        qCWarning(lcMedia) << "the decoder gave" << got << "of" << frames << "frames at"
                           << piece.start + offset << "of" << m_filePath << "; silence instead";
    m_decoderFellShort = true;
    const qint64 frameBytes = m_format.bytesPerFrame();
    std::memset(out + std::max<qint64>(got, 0) * frameBytes,
                0,
                std::size_t((frames - std::max<qint64>(got, 0)) * frameBytes));
    return frames;
}

QDateTime Waveform::recorded() const
{
    if (m_started.isValid())
        return m_started;
    if (!m_filePath.isEmpty())
        return QDateTime::fromMSecsSinceEpoch(m_fileModifiedMs);
    return QDateTime::currentDateTime();
}

Result<> Waveform::beginInsert(qint64 at)
{
    endInsert();
    if (!m_spool.isValid()) {
        Result<SpoolFile> spool = SpoolFile::create(m_spoolFolder.isEmpty() ? StateFolder::path()
                                                                            : m_spoolFolder,
                                                    m_format);
        if (!spool.ok())
            return spool.failure();
        m_spool = std::move(spool.value());
        m_started = QDateTime::currentDateTime();
    }
    m_saved = false;
    at = std::clamp<qint64>(at, 0, m_frames);

    qint64 pieceStart = 0;
    std::size_t index = 0;
    while (index < m_pieces.size() && pieceStart + m_pieces[index].frames < at) {
        pieceStart += m_pieces[index].frames;
        ++index;
    }
    // recording on at the end of the latest recording grows that piece
    if (index < m_pieces.size() && pieceStart + m_pieces[index].frames == at
        && m_pieces[index].source == WavePiece::Spool
        && m_pieces[index].start + m_pieces[index].frames == m_spool.frames()) {
        m_insertPiece = qint64(index);
        m_insertStartFrames = m_pieces[index].frames;
        writeJournal();
        return {};
    }
    if (index < m_pieces.size() && at > pieceStart && at < pieceStart + m_pieces[index].frames) {
        WavePiece tail = m_pieces[index];
        const qint64 split = at - pieceStart;
        m_pieces[index].frames = split;
        tail.start += split;
        tail.frames -= split;
        m_pieces.insert(m_pieces.begin() + qsizetype(index) + 1, tail);
        ++index;
    } else if (index < m_pieces.size() && at == pieceStart + m_pieces[index].frames) {
        ++index;
    }
    m_pieces.insert(m_pieces.begin() + qsizetype(index),
                    WavePiece{WavePiece::Spool, m_spool.frames(), 0});
    m_insertPiece = qint64(index);
    m_insertStartFrames = 0;
    writeJournal();
    return {};
}

Result<> Waveform::appendInserted(const char *data, qint64 frames)
{
    if (m_insertPiece < 0)
        return Failure(MediaTexts::spoolWriteFailed());
    if (frames <= 0)
        return {};
    if (Result<> appended = m_spool.append(data, frames); !appended.ok())
        return appended;
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
    if (m_insertPiece < 0)
        return;
    if (m_pieces[std::size_t(m_insertPiece)].frames == 0)
        m_pieces.erase(m_pieces.begin() + qsizetype(m_insertPiece));
    m_insertPiece = -1;
    m_insertStartFrames = 0;
    writeJournal();
    if (const Result<> flushed = flushSpool(); !flushed.ok())
        qCWarning(lcMedia).noquote() << "could not flush the spool:" << flushed.reason();
}

Result<> Waveform::flushSpool()
{
    return m_spool.flush();
}

void Waveform::markSaved()
{
    m_saved = true;
    writeJournal();
}

void Waveform::discard()
{
    m_spool.remove();
}

void Waveform::writeJournal()
{
    if (!m_spool.isValid())
        return;
    TakeJournal journal;
    journal.started = m_started;
    journal.format = m_format;
    journal.filePath = m_filePath;
    journal.fileSize = m_fileSize;
    journal.fileModifiedMs = m_fileModifiedMs;
    journal.pieces = m_pieces;
    journal.growingPiece = int(m_insertPiece);
    journal.saved = m_saved;
    // A journal that cannot be written costs only the piecing together after a crash: the
    // spool itself still holds every take.
    if (const Result<> written = journal.write(m_spool.journalPath()); !written.ok())
        qCWarning(lcMedia).noquote() << written.reason();
}
