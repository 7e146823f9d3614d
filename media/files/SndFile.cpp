#include "media/files/SndFile.h"

#include "media/MediaTexts.h"

#include <cerrno>
#include <unistd.h>

Result<SndFile> SndFile::openRead(UniqueFd fd)
{
    SndFile file;
    file.m_ownFd = std::move(fd);
    // libsndfile takes the descriptor's offset as the start of the sound file
    if (::lseek(file.m_ownFd.get(), 0, SEEK_SET) != 0)
        return MediaTexts::systemFailure(errno);
    file.m_file.reset(sf_open_fd(file.m_ownFd.get(), SFM_READ, &file.m_info, SF_FALSE));
    if (!file.m_file)
        return Failure(Failure::BadFile, MediaTexts::soundFileError(sf_error(nullptr)));
    file.m_nextFrame = 0;
    return file;
}

Result<SndFile> SndFile::openWrite(int fd, const WaveFormat &format)
{
    SndFile file;
    file.m_info.samplerate = format.sampleRate();
    file.m_info.channels = format.channels();
    file.m_info.format = format.sndfileFormat();
    if (!sf_format_check(&file.m_info))
        return Failure(QStringLiteral(u"无法以这种声音格式写入"));
    file.m_file.reset(sf_open_fd(fd, SFM_WRITE, &file.m_info, SF_FALSE));
    if (!file.m_file)
        return Failure(Failure::Io, MediaTexts::soundFileError(sf_error(nullptr)));
    // decoded sound may pass full scale: written as integers it is clipped, not wrapped round
    sf_command(file.m_file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return file;
}

WaveFormat SndFile::format() const
{
    return WaveFormat(m_info.samplerate, m_info.channels, m_info.format);
}

Result<qint64> SndFile::read(qint64 start, SampleType type, void *out, qint64 frames)
{
    if (!m_file)
        return qint64(0);
    if (start != m_nextFrame) {
        if (sf_seek(m_file.get(), start, SEEK_SET) != start) {
            m_nextFrame = -1;
            return readFailure();
        }
        m_nextFrame = start;
    }
    sf_count_t done = 0;
    switch (type) {
    case SampleType::Int16:
        done = sf_readf_short(m_file.get(), static_cast<short *>(out), frames);
        break;
    case SampleType::Int32:
        done = sf_readf_int(m_file.get(), static_cast<int *>(out), frames);
        break;
    case SampleType::Float:
        done = sf_readf_float(m_file.get(), static_cast<float *>(out), frames);
        break;
    case SampleType::Double:
        done = sf_readf_double(m_file.get(), static_cast<double *>(out), frames);
        break;
    }
    m_nextFrame = done > 0 ? start + done : -1;
    if (done < frames && sf_error(m_file.get()) != SF_ERR_NO_ERROR)
        return readFailure();
    return qint64(std::max<sf_count_t>(done, 0));
}

Failure SndFile::readFailure() const
{
    const int error = sf_error(m_file.get());
    // a seek past what the file holds now: it was cut short since it was opened
    if (error == SF_ERR_NO_ERROR)
        return Failure(Failure::Io, MediaTexts::soundFileShrank());
    return Failure(Failure::Io, MediaTexts::soundFileError(error));
}

qint64 SndFile::write(SampleType type, const void *in, qint64 frames)
{
    if (!m_file)
        return 0;
    switch (type) {
    case SampleType::Int16:
        return sf_writef_short(m_file.get(), static_cast<const short *>(in), frames);
    case SampleType::Int32:
        return sf_writef_int(m_file.get(), static_cast<const int *>(in), frames);
    case SampleType::Float:
        return sf_writef_float(m_file.get(), static_cast<const float *>(in), frames);
    case SampleType::Double:
        return sf_writef_double(m_file.get(), static_cast<const double *>(in), frames);
    }
    return 0;
}

QString SndFile::errorText() const
{
    return MediaTexts::soundFileError(sf_error(m_file.get()));
}

bool SndFile::close()
{
    if (!m_file)
        return true;
    const bool hadError = sf_error(m_file.get()) != SF_ERR_NO_ERROR;
    return sf_close(m_file.release()) == 0 && !hadError;
}

bool SndFile::setText(int type, const QString &text)
{
    return m_file && sf_set_string(m_file.get(), type, text.toUtf8().constData()) == 0;
}

bool SndFile::command(int command, double value)
{
    return m_file && sf_command(m_file.get(), command, &value, sizeof value) == SF_TRUE;
}

bool SndFile::command(int command, int value)
{
    return m_file && sf_command(m_file.get(), command, &value, sizeof value) == SF_TRUE;
}
