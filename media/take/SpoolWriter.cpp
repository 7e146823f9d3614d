#include "media/take/SpoolWriter.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/take/SpoolFile.h"
#include "media/take/StorageThread.h"

#include <cstring>

namespace {

// The most sound that may wait for a stalled disk, about ten minutes of CD audio: past that
// the take ends rather than holding more in memory.
constexpr qint64 maxWaitingBytes = 100 << 20;

} // namespace

struct SpoolWriter::Take
{
    std::shared_ptr<SpoolFile> spool;
    SpoolWriter *writer = nullptr; // only to emit its signals, which are queued
    WaveFormat format;
    int inFrameBytes = 0;
    std::atomic<bool> broken{false}; // the take ended early: nothing more is written
    // With the writer's mutex: the sound waiting for the storage thread.
    std::vector<char> incoming;
    bool drainPosted = false;
    bool begun = false; // its first sound went to the storage thread
    // The storage thread's own.
    std::vector<char> draining;
    QByteArray partial; // the start of a frame split across two deliveries
    std::vector<double> doubles;
};

SpoolWriter::SpoolWriter(StorageThread &storage, QObject *parent)
    : QObject(parent)
    , m_storage(storage)
{}

SpoolWriter::~SpoolWriter()
{
    end();
    // the storage thread may still hold a take, which signals through this object
    m_storage.waitIdle();
}

void SpoolWriter::begin(std::shared_ptr<SpoolFile> spool, const WaveFormat &format)
{
    end();
    m_spool = std::move(spool);
    auto take = std::make_shared<Take>();
    take->spool = m_spool;
    take->writer = this;
    take->format = format;
    take->inFrameBytes = format.audioFormat().bytesPerFrame();
    m_inFrameBytes = take->inFrameBytes;
    const std::lock_guard lock(m_mutex);
    m_meter.start(format.audioFormat());
    m_unmetered.clear();
    m_receiving = std::move(take);
    m_receivedBytes = 0;
    m_lostFrames = 0;
}

qint64 SpoolWriter::end()
{
    if (!m_spool)
        return 0;
    std::shared_ptr<Take> take;
    qint64 frames = 0;
    {
        const std::lock_guard lock(m_mutex);
        take = std::exchange(m_receiving, nullptr);
        frames = m_receivedBytes / m_inFrameBytes;
    }
    // what waits goes to the spool, then the take's tail goes on the disk itself
    m_storage.post([this, take] { drain(*take); });
    m_storage.post([take] {
        if (take->broken) {
            take->spool->abandon();
        } else if (const Result<> flushed = take->spool->flush(); !flushed.ok()) {
            take->broken = true;
            emit take->writer->failed(flushed.reason());
        }
    });
    m_spool.reset();
    return frames;
}

qint64 SpoolWriter::receivedFrames() const
{
    const std::lock_guard lock(m_mutex);
    return m_inFrameBytes > 0 ? m_receivedBytes / m_inFrameBytes : 0;
}

void SpoolWriter::writeNow()
{
    std::shared_ptr<Take> take;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_receiving || m_receiving->drainPosted)
            return;
        take = m_receiving;
        take->drainPosted = true;
    }
    m_storage.post([this, take] { drain(*take); });
}

void SpoolWriter::captured(const char *data, qint64 bytes)
{
    queue(data, bytes, 0);
}

std::optional<PeakMeter::Reading> SpoolWriter::takeLevel()
{
    const std::lock_guard lock(m_mutex);
    if (!m_meter.hasSound())
        return std::nullopt;
    return m_meter.take();
}

void SpoolWriter::lost(qint64 frames)
{
    qint64 total = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_lostFrames += frames;
        total = m_lostFrames;
    }
    queue(nullptr, 0, frames * m_inFrameBytes);
    emit soundLost(total);
}

void SpoolWriter::queue(const char *data, qint64 bytes, qint64 silentBytes)
{
    std::shared_ptr<Take> post;
    bool tooSlow = false;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_receiving)
            return;
        Take &take = *m_receiving;
        if (take.broken)
            return; // the take ended there: what comes after goes nowhere
        if (qint64(take.incoming.size()) + bytes + silentBytes > maxWaitingBytes) {
            tooSlow = !take.broken.exchange(true);
            bytes = silentBytes = 0;
        }
        take.incoming.insert(take.incoming.end(), data, data + bytes);
        take.incoming.resize(take.incoming.size() + std::size_t(silentBytes), '\0');
        m_receivedBytes += bytes + silentBytes;
        if (m_metering && bytes > 0)
            measure(data, bytes);
        // The storage thread wakes for a second of sound at a time, when it flushes it too (the
        // server may hand over far smaller pieces), and for the take's first piece at once.
        const qint64 second = qint64(take.format.sampleRate()) * take.inFrameBytes;
        if (!take.drainPosted && (qint64(take.incoming.size()) >= second || !take.begun)) {
            post = m_receiving;
            take.drainPosted = true;
            take.begun = true;
        }
    }
    if (tooSlow)
        emit failed(QStringLiteral(u"磁盘写入太慢，跟不上录音"));
    if (post)
        m_storage.post([this, post] { drain(*post); });
}

void SpoolWriter::measure(const char *data, qint64 bytes)
{
    if (!m_unmetered.isEmpty()) {
        const qint64 used = std::min<qint64>(bytes, m_inFrameBytes - m_unmetered.size());
        m_unmetered.append(data, used);
        data += used;
        bytes -= used;
        if (m_unmetered.size() < m_inFrameBytes)
            return;
        m_meter.add(m_unmetered.constData(), 1);
        m_unmetered.clear();
    }
    const qint64 frames = bytes / m_inFrameBytes;
    m_meter.add(data, frames);
    m_unmetered = QByteArray(data + frames * m_inFrameBytes, bytes - frames * m_inFrameBytes);
}

void SpoolWriter::drain(Take &take)
{
    {
        const std::lock_guard lock(m_mutex);
        take.draining.swap(take.incoming);
        take.drainPosted = false;
    }
    if (take.broken)
        take.spool->abandon(); // the capture gave up on a disk this slow
    else
        write(take, take.draining.data(), qint64(take.draining.size()));
    take.draining.clear(); // keeps its room for the next round
}

void SpoolWriter::write(Take &take, const char *data, qint64 size)
{
    // a frame split across two deliveries is put together first
    if (!take.partial.isEmpty()) {
        const qint64 used = std::min<qint64>(size, take.inFrameBytes - take.partial.size());
        take.partial.append(data, used);
        data += used;
        size -= used;
        if (take.partial.size() < take.inFrameBytes)
            return;
        const QByteArray frame = std::exchange(take.partial, {});
        write(take, frame.constData(), frame.size());
        if (take.broken)
            return;
    }
    const qint64 frames = size / take.inFrameBytes;
    take.partial = QByteArray(data + frames * take.inFrameBytes, size - frames * take.inFrameBytes);
    if (frames == 0)
        return;

    const char *samples = data;
    if (take.format.sampleType() == SampleType::Double) {
        const qint64 count = frames * take.format.channels();
        take.doubles.resize(std::size_t(count));
        for (qint64 i = 0; i < count; ++i) {
            float sample; // the server's bytes need not be aligned
            std::memcpy(&sample, data + i * qint64(sizeof sample), sizeof sample);
            take.doubles[std::size_t(i)] = sample;
        }
        samples = reinterpret_cast<const char *>(take.doubles.data());
    }
    if (const Result<> appended = take.spool->append(samples, frames); !appended.ok()) {
        take.broken = true;
        qCWarning(lcMedia).noquote() << "the take ends:" << appended.reason();
        emit take.writer->failed(appended.reason());
    }
}
