#include "media/files/EncodedFileWriter.h"

#include "media/MediaTexts.h"
#include "media/files/Id3Tag.h"
#include "media/files/Resampler.h"
#include "media/take/Waveform.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString software = QStringLiteral("Tapewren");
// Frames read from the waveform at a time: small enough for the progress to move and a Cancel
// to be heard at once.
constexpr qint64 blockFrames = 1 << 16;

// Samples of the waveform's sample type as floats for the lossy encoders, which take full scale
// at most: louder ones are clipped, and what is no number at all (a float WAV may hold NaN or
// infinity) is silence. LAME stops the whole program on such a sample.
void toFloats(SampleType type, const char *in, qint64 samples, std::vector<float> &out)
{
    out.resize(std::size_t(samples));
    for (qint64 i = 0; i < samples; ++i) {
        float value = 0;
        switch (type) {
        case SampleType::Int16: {
            qint16 sample;
            std::memcpy(&sample, in + i * 2, 2);
            value = float(sample) / 32768.0f;
            break;
        }
        case SampleType::Int32: {
            qint32 sample;
            std::memcpy(&sample, in + i * 4, 4);
            value = float(double(sample) / 2147483648.0);
            break;
        }
        case SampleType::Float:
            std::memcpy(&value, in + i * 4, 4);
            break;
        case SampleType::Double: {
            double sample;
            std::memcpy(&sample, in + i * 8, 8);
            value = float(sample);
            break;
        }
        }
        out[std::size_t(i)] = std::isfinite(value) ? std::clamp(value, -1.0f, 1.0f) : 0.0f;
    }
}

} // namespace

EncodedFileWriter::EncodedFileWriter(Waveform &waveform,
                                     const SaveFormat &format,
                                     WaveSaver::Progress *progress)
    : m_waveform(waveform)
    , m_format(format)
    , m_progress(progress)
    , m_rate(format.sampleRate(waveform.format().sampleRate()))
{}

Result<> EncodedFileWriter::write(Waveform &waveform,
                                  int fd,
                                  const SaveFormat &format,
                                  WaveSaver::Progress *progress)
{
    const int channels = waveform.format().channels();
    if (channels > format.maxChannels()) {
        return Failure(QStringLiteral(u"%1 文件最多只能有 %2 个声道，这段录音有 %3 个")
                               .arg(format.name())
                               .arg(format.maxChannels())
                               .arg(channels));
    }
    EncodedFileWriter writer(waveform, format, progress);
    if (Result<> opened = writer.open(fd); !opened.ok())
        return opened;
    if (Result<> written = writer.writeSound(); !written.ok())
        return written;
    if (Result<> finished = writer.finish(); !finished.ok())
        return finished;
    return writer.checkWritten(fd);
}

Result<> EncodedFileWriter::open(int fd)
{
    const WaveFormat &source = m_waveform.format();
    if (m_format.kind() == SaveFormat::Mp3) {
        // libsndfile starts the stream at the descriptor's offset, after the tag
        const QByteArray tag = Id3Tag::make(software, m_waveform.recorded());
        if (!m_waveform.fileSystem().writeAll(fd, tag.constData(), tag.size(), 0)
            || ::lseek(fd, tag.size(), SEEK_SET) < 0)
            return MediaTexts::systemFailure(errno);
    }
    Result<SndFile> opened = SndFile::openWrite(fd,
                                                WaveFormat(m_rate,
                                                           source.channels(),
                                                           m_format.fileFormat(source)));
    if (!opened.ok())
        return opened.failure();
    m_out = std::move(opened.value());
    if (m_format.kind() != SaveFormat::Mp3) {
        m_out.setText(SF_STR_SOFTWARE, software);
        m_out.setText(SF_STR_DATE,
                      m_waveform.recorded().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    }
    // the level first: a change of bitrate mode applies the level that is set
    const double level = m_format.compressionLevel();
    if (level >= 0 && !m_out.command(SFC_SET_COMPRESSION_LEVEL, level))
        return Failure(QStringLiteral(u"编码器不接受设置（%1）").arg(m_out.errorText()));
    if (m_format.kind() == SaveFormat::Mp3
        && !m_out.command(SFC_SET_BITRATE_MODE, int(SF_BITRATE_MODE_VARIABLE)))
        return Failure(QStringLiteral(u"编码器不接受设置（%1）").arg(m_out.errorText()));
    if (m_rate != source.sampleRate()) {
        Result<Resampler> resampler = Resampler::create(source.sampleRate(),
                                                        m_rate,
                                                        source.channels());
        if (!resampler.ok())
            return resampler.failure();
        m_resampler = std::make_unique<Resampler>(std::move(resampler.value()));
    }
    return {};
}

Result<> EncodedFileWriter::writeSound()
{
    const WaveFormat &format = m_waveform.format();
    std::vector<char> block(std::size_t(blockFrames * format.bytesPerFrame()));
    const qint64 total = m_waveform.frames();
    if (m_progress)
        m_progress->total = total;
    for (qint64 at = 0; at < total;) {
        if (m_progress && m_progress->cancel.load())
            return Failure(Failure::Cancelled, MediaTexts::saveCancelled());
        const qint64 wanted = std::min(blockFrames, total - at);
        const Result<qint64> got = m_waveform.read(at, block.data(), wanted);
        if (!got.ok())
            return got.failure();
        if (got.value() != wanted)
            return Failure(Failure::Io, MediaTexts::cannotReadRecording());
        if (Result<> written = writeBlock(block.data(), wanted); !written.ok())
            return written;
        at += wanted;
        if (m_progress)
            m_progress->written += wanted;
    }
    return {};
}

Result<> EncodedFileWriter::writeBlock(const char *samples, qint64 frames)
{
    const WaveFormat &format = m_waveform.format();
    if (m_format.takesFloats() || m_resampler) {
        toFloats(format.sampleType(), samples, frames * format.channels(), m_floats);
        if (!m_resampler)
            return writeFloats(m_floats.data(), frames);
        const std::vector<float> &resampled = m_resampler->process(m_floats.data(), frames);
        return writeFloats(resampled.data(), qint64(resampled.size()) / format.channels());
    }
    // lossless: the samples as they are
    errno = 0;
    if (m_out.write(format.sampleType(), samples, frames) != frames)
        return writeFailed();
    m_written += frames;
    return {};
}

Result<> EncodedFileWriter::writeFloats(const float *samples, qint64 frames)
{
    errno = 0;
    if (frames > 0 && m_out.write(SampleType::Float, samples, frames) != frames)
        return writeFailed();
    m_written += frames;
    return {};
}

Result<> EncodedFileWriter::finish()
{
    if (m_resampler) {
        const std::vector<float> &rest = m_resampler->finish();
        const qint64 frames = qint64(rest.size()) / m_waveform.format().channels();
        if (Result<> written = writeFloats(rest.data(), frames); !written.ok())
            return written;
    }
    errno = 0;
    if (!m_out.close())
        return writeFailed();
    return {};
}

Result<> EncodedFileWriter::checkWritten(int fd) const
{
    // a description of its own, from the start of the file
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    UniqueFd reading(::open(self.constData(), O_RDONLY | O_CLOEXEC));
    if (!reading.isValid())
        return Failure(Failure::Io, MediaTexts::systemError(errno));
    Result<SndFile> written = SndFile::openRead(std::move(reading));
    if (!written.ok() || written->info().frames != m_written)
        return Failure(Failure::Io, QStringLiteral(u"写入的文件读回时不完整"));
    return {};
}

Failure EncodedFileWriter::writeFailed() const
{
    if (errno != 0)
        return MediaTexts::systemFailure(errno);
    return Failure(Failure::Io, QStringLiteral(u"编码器出错（%1）").arg(m_out.errorText()));
}
