#include "media/take/Waveform.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/files/CompressedFile.h"
#include "media/files/WaveHeaderCheck.h"
#include "media/take/SpoolFile.h"
#include "media/take/StorageThread.h"
#include "media/take/TakeJournal.h"
#include "platform/FileSystem.h"
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
    , m_fs(&FileSystem::system())
{}

Waveform::~Waveform() = default;

Result<std::unique_ptr<Waveform>> Waveform::open(const QString &path)
{
    UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.isValid())
        return MediaTexts::systemFailure(errno);
    struct stat st = {};
    if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode))
        return MediaTexts::systemFailure(S_ISDIR(st.st_mode) ? EISDIR : errno);
    if (!S_ISREG(st.st_mode))
        return Failure(Failure::BadFile, MediaTexts::notRegularFile());
    QByteArray start(CompressedFile::sniffBytes, '\0');
    start.truncate(std::max<ssize_t>(0, ::pread(fd.get(), start.data(), start.size(), 0)));
    const CompressedFile::Kind compressed = CompressedFile::sniff(start);
    // WAV files are checked chunk by chunk before libsndfile sees them
    Result<WaveHeaderCheck::Layout> layout = WaveHeaderCheck::Layout{};
    if (compressed == CompressedFile::Kind::None) {
        QFile header;
        if (!header.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            return MediaTexts::systemFailure(EIO);
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
        return Failure(Failure::BadFile, MediaTexts::notWave());
    }
    if (info.channels < 1 || info.channels > WaveHeaderCheck::maxChannels
        || info.samplerate < WaveHeaderCheck::minSampleRate
        || info.samplerate > WaveHeaderCheck::maxSampleRate || info.frames < 0)
        return Failure(Failure::BadFile,
                       MediaTexts::damaged(QStringLiteral(u"文件头中的数值不合理")));

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

QString Waveform::spoolFolder() const
{
    return m_spoolFolder.isEmpty() ? StateFolder::path() : m_spoolFolder;
}

void Waveform::setStorage(StorageThread *thread, FileSystem *fileSystem)
{
    m_storage = thread;
    m_fs = fileSystem ? fileSystem : &FileSystem::system();
}

void Waveform::onStorageFailure(std::function<void(const QString &)> told)
{
    m_storageFailure = std::move(told);
}

void Waveform::store(std::function<void()> job) const
{
    if (m_storage)
        m_storage->post(std::move(job));
    else
        job();
}

qint64 Waveform::frames() const
{
    return m_frames + insertedFrames();
}

qint64 Waveform::insertedFrames() const
{
    if (m_insertPiece < 0)
        return 0;
    return std::max<qint64>(m_spool->frames() - m_insertSpoolStart, 0);
}

std::vector<WavePiece> Waveform::pieces() const
{
    std::vector<WavePiece> pieces = m_pieces;
    if (m_insertPiece >= 0)
        pieces[std::size_t(m_insertPiece)].frames = m_insertStartFrames + insertedFrames();
    return pieces;
}

Result<std::unique_ptr<Waveform>> Waveform::readOnlyCopy() const
{
    auto copy = std::make_unique<Waveform>(m_format);
    copy->m_spoolFolder = m_spoolFolder;
    copy->m_fs = m_fs;
    copy->m_pieces = pieces();
    copy->m_frames = frames();
    copy->m_filePath = m_filePath;
    copy->m_fileSize = m_fileSize;
    copy->m_fileModifiedMs = m_fileModifiedMs;
    copy->m_fileDataOffset = m_fileDataOffset;
    copy->m_fileDecoded = m_fileDecoded;
    copy->m_started = m_started;
    if (m_file.isOpen()) {
        // a description of its own: libsndfile's reads seek, and the original reads meanwhile
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_file.fd());
        UniqueFd fd(::open(self.constData(), O_RDONLY | O_CLOEXEC));
        if (!fd.isValid())
            return Failure(Failure::Io, MediaTexts::cannotReadRecording());
        Result<SndFile> file = SndFile::openRead(std::move(fd));
        if (!file.ok())
            return file.failure();
        copy->m_file = std::move(file.value());
    }
    // the spool is only ever appended to: what the copy names stays as it is
    copy->m_spool = m_spool;
    copy->m_spoolFrames = m_spoolFrames;
    return copy;
}

Waveform::Source Waveform::source(const WavePiece &piece) const
{
    if (piece.source == WavePiece::Spool) {
        // the spool holds the waveform's sample type, which is its encoding only for these
        const int encoding = m_format.encoding();
        const bool asEncoded = encoding == SF_FORMAT_PCM_16 || encoding == SF_FORMAT_PCM_32
                               || encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE;
        return {m_spool->fd(), asEncoded ? m_spool->dataOffset() : -1};
    }
    return {m_file.fd(), m_fileDataOffset};
}

Result<> Waveform::settle() const
{
    qint64 needed = 0;
    for (const WavePiece &piece : pieces()) {
        if (piece.source == WavePiece::Spool)
            needed = std::max(needed, piece.start + piece.frames);
    }
    if (needed > 0 && !m_spool->waitFor(needed))
        return Failure(Failure::Io, MediaTexts::spoolShrank());
    return {};
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

std::unique_ptr<Waveform> Waveform::recover(std::shared_ptr<SpoolFile> spool,
                                            const TakeJournal *journal,
                                            std::unique_ptr<Waveform> file)
{
    if (journal && !sameLayout(journal->format, spool->format()))
        journal = nullptr;
    if (file
        && (!journal || file->format().sndfileFormat() != journal->format.sndfileFormat()
            || !sameLayout(file->format(), journal->format)))
        file.reset();

    std::vector<WavePiece> pieces;
    if (journal)
        pieces = journalPieces(*journal,
                               spool->frames(),
                               file ? file->frames() : 0,
                               file != nullptr);
    if (pieces.empty()) {
        file.reset();
        pieces = {{WavePiece::Spool, 0, spool->frames()}};
    }

    auto waveform = file ? std::move(file)
                         : std::make_unique<Waveform>(journal ? journal->format : spool->format());
    waveform->m_pieces = std::move(pieces);
    waveform->m_frames = 0;
    for (const WavePiece &piece : waveform->m_pieces)
        waveform->m_frames += piece.frames;
    waveform->m_started = journal && journal->started.isValid() ? journal->started
                                                                : QDateTime::currentDateTime();
    waveform->m_spoolFrames = spool->frames();
    waveform->m_spool = std::move(spool);
    return waveform;
}

Result<qint64> Waveform::read(qint64 start, void *out, qint64 frames)
{
    char *to = static_cast<char *>(out);
    const int frameBytes = m_format.bytesPerFrame();
    qint64 done = 0;
    qint64 pieceStart = 0;
    for (const WavePiece &piece : pieces()) {
        if (done >= frames)
            break;
        const qint64 pieceEnd = pieceStart + piece.frames;
        const qint64 at = start + done;
        if (at < pieceEnd) {
            const qint64 offset = at - pieceStart;
            const qint64 wanted = std::min(frames - done, piece.frames - offset);
            const Result<qint64> got = readPiece(piece, offset, to + done * frameBytes, wanted);
            if (!got.ok())
                return got;
            // every piece lay inside its source when it was made: the source lost frames since
            if (got.value() < wanted)
                return Failure(Failure::Io,
                               piece.source == WavePiece::File ? MediaTexts::soundFileShrank()
                                                               : MediaTexts::spoolShrank());
            done += wanted;
        }
        pieceStart = pieceEnd;
    }
    return done;
}

Result<qint64> Waveform::readPiece(const WavePiece &piece, qint64 offset, char *out, qint64 frames)
{
    if (piece.source == WavePiece::Spool)
        return m_spool->read(piece.start + offset, out, frames);
    const Result<qint64> got = m_file.read(piece.start + offset,
                                           m_format.sampleType(),
                                           out,
                                           frames);
    if (!m_fileDecoded || (got.ok() && got.value() == frames))
        return got;
    // A file cut short since it was opened ends what reads it, whatever its format.
    struct stat st = {};
    if (::fstat(m_file.fd(), &st) == 0 && qint64(st.st_size) < m_fileSize)
        return Failure(Failure::Io, MediaTexts::soundFileShrank());
    // A decoder that stops short or gives up (a damaged frame; an MP3 whose length was
    // estimated from its size) gives silence for the rest, so the recording keeps the length it
    // was opened with.
    const qint64 decoded = got.ok() ? got.value() : 0;
    if (!m_decoderFellShort.exchange(true))
        qCWarning(lcMedia).noquote()
                << "the decoder gave" << decoded << "of" << frames << "frames at"
                << piece.start + offset << "of" << m_filePath
                << (got.ok() ? QString() : got.reason()) << "; silence instead";
    const qint64 frameBytes = m_format.bytesPerFrame();
    std::memset(out + decoded * frameBytes, 0, std::size_t((frames - decoded) * frameBytes));
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
    if (!m_spool) {
        Result<std::shared_ptr<SpoolFile>> spool = SpoolFile::create(spoolFolder(),
                                                                     m_format,
                                                                     *m_fs);
        if (!spool.ok())
            return spool.failure();
        m_spool = std::move(spool.value());
        m_spoolFrames = 0;
        m_started = QDateTime::currentDateTime();
    }
    m_saved = false;
    ++m_changes;
    at = std::clamp<qint64>(at, 0, m_frames);

    qint64 pieceStart = 0;
    std::size_t index = 0;
    while (index < m_pieces.size() && pieceStart + m_pieces[index].frames < at) {
        pieceStart += m_pieces[index].frames;
        ++index;
    }
    m_insertSpoolStart = m_spoolFrames;
    // recording on at the end of the latest recording grows that piece
    if (index < m_pieces.size() && pieceStart + m_pieces[index].frames == at
        && m_pieces[index].source == WavePiece::Spool
        && m_pieces[index].start + m_pieces[index].frames == m_spoolFrames) {
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
                    WavePiece{WavePiece::Spool, m_spoolFrames, 0});
    m_insertPiece = qint64(index);
    m_insertStartFrames = 0;
    writeJournal();
    return {};
}

Result<> Waveform::appendInserted(const char *data, qint64 frames)
{
    if (m_insertPiece < 0)
        return MediaTexts::spoolFailure(EBADF); // no insertion under way
    if (frames <= 0)
        return {};
    ++m_changes;
    return m_spool->append(data, frames);
}

void Waveform::endInsert(qint64 takeFrames)
{
    if (m_insertPiece < 0)
        return;
    if (takeFrames < 0)
        takeFrames = insertedFrames();
    WavePiece &piece = m_pieces[std::size_t(m_insertPiece)];
    piece.frames = m_insertStartFrames + takeFrames;
    m_frames += takeFrames;
    m_spoolFrames += takeFrames;
    if (piece.frames == 0)
        m_pieces.erase(m_pieces.begin() + qsizetype(m_insertPiece));
    m_insertPiece = -1;
    m_insertStartFrames = 0;
    ++m_changes;
    writeJournal();
}

void Waveform::keepOnlyDurableSound()
{
    if (!m_spool)
        return;
    const qint64 kept = m_spool->durableFrames();
    endInsert(std::max<qint64>(kept - m_insertSpoolStart, 0));
    std::vector<WavePiece> pieces;
    m_frames = 0;
    for (WavePiece piece : m_pieces) {
        if (piece.source == WavePiece::Spool)
            piece.frames = std::clamp<qint64>(kept - piece.start, 0, piece.frames);
        if (piece.frames > 0)
            pieces.push_back(piece);
        m_frames += piece.frames;
    }
    m_pieces = std::move(pieces);
    m_spoolFrames = std::min(m_spoolFrames, kept);
    ++m_changes;
    writeJournal();
}

void Waveform::savedAs(const QString &path)
{
    if (m_insertPiece >= 0)
        return; // a take goes on: the recording is more than what was saved
    // Rebuilt on the file just written, the journal names that file as it is now, so a crash
    // after further takes gives back the file with those takes rather than taking the file
    // for changed.
    Result<std::unique_ptr<Waveform>> saved = Waveform::open(path);
    const auto lossless = [](int encoding) {
        return encoding != SF_FORMAT_VORBIS && encoding != SF_FORMAT_OPUS
               && encoding != SF_FORMAT_MPEG_LAYER_I && encoding != SF_FORMAT_MPEG_LAYER_II
               && encoding != SF_FORMAT_MPEG_LAYER_III;
    };
    if (saved.ok() && sameLayout(saved.value()->format(), m_format)
        && saved.value()->format().encoding() == m_format.encoding()
        && lossless(m_format.encoding()) && saved.value()->frames() == frames()) {
        Waveform &file = *saved.value();
        m_file = std::move(file.m_file);
        m_filePath = file.m_filePath;
        m_fileSize = file.m_fileSize;
        m_fileModifiedMs = file.m_fileModifiedMs;
        m_fileDataOffset = file.m_fileDataOffset;
        m_pieces = std::move(file.m_pieces);
    } else {
        qCInfo(lcMedia) << "the saved file" << path << "is not read back as the recording";
    }
    m_saved = true;
    writeJournal();
}

void Waveform::discard()
{
    if (!m_spool)
        return;
    // after whatever is still being written to it
    store([spool = std::move(m_spool)] { spool->remove(); });
}

void Waveform::writeJournal()
{
    if (!m_spool)
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
    // The journal never names sound the spool does not hold on the disk: it is replaced only
    // after the flush that puts the last of it there. (The growing piece names none: it runs
    // on to the end of the spool.)
    qint64 named = 0;
    for (std::size_t i = 0; i < m_pieces.size(); ++i) {
        if (m_pieces[i].source == WavePiece::Spool && qint64(i) != m_insertPiece)
            named = std::max(named, m_pieces[i].start + m_pieces[i].frames);
    }
    store([spool = m_spool, journal, named, fs = m_fs, told = m_storageFailure] {
        if (spool->path().isEmpty())
            return; // removed meanwhile
        if (spool->durableFrames() < named) {
            qCInfo(lcMedia) << "journal not replaced: the spool lost the sound it would name";
            return;
        }
        if (const Result<> written = journal.write(spool->journalPath(), *fs); !written.ok()) {
            qCWarning(lcMedia).noquote() << written.reason();
            if (told)
                told(written.reason());
        }
    });
}
