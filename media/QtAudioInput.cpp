#include "media/QtAudioInput.h"

#include "media/MediaTexts.h"

#include <QAudioSource>
#include <QMediaDevices>

namespace {

// Qt's default buffer delays the first captured frame by over half a second; a very small one
// wakes the process too often. 30 ms brings the first frame in about 30 ms.
constexpr qint64 bufferUSecs = 30000;

} // namespace

QtAudioInput::QtAudioInput(QObject *parent)
    : AudioInput(parent)
{}

QtAudioInput::~QtAudioInput()
{
    stop();
}

void QtAudioInput::setDevice(const QAudioDevice &device)
{
    m_device = device;
}

Result<> QtAudioInput::start(const QAudioFormat &format, QIODevice *sink)
{
    stop();
    const QAudioDevice device = m_device.isNull() ? QMediaDevices::defaultAudioInput() : m_device;
    if (device.isNull()) {
        // without a sound server Qt lists no device at all
        return Failure(QMediaDevices::audioOutputs().isEmpty() ? MediaTexts::noSoundServer()
                                                               : MediaTexts::noInputDevice());
    }
    if (!device.isFormatSupported(format))
        return Failure(MediaTexts::formatNotSupported());

    m_source = std::make_unique<QAudioSource>(device, format);
    m_source->setBufferSize(qsizetype(format.bytesForDuration(bufferUSecs)));
    connect(m_source.get(), &QAudioSource::stateChanged, this, &QtAudioInput::onStateChanged);
    m_source->start(sink);
    if (m_source->error() != QAudio::NoError || m_source->state() == QAudio::StoppedState) {
        stop();
        return Failure(MediaTexts::noSoundServer());
    }
    return {};
}

void QtAudioInput::stop()
{
    if (!m_source)
        return;
    m_source->disconnect(this);
    m_source->stop();
    m_source.reset();
}

void QtAudioInput::onStateChanged(QAudio::State state)
{
    if (state != QAudio::StoppedState || !m_source || m_source->error() == QAudio::NoError)
        return;
    // let the source finish its signal before anyone tears it down
    QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_source && m_source->error() != QAudio::NoError)
                    emit failed(MediaTexts::serverLostRecording());
            },
            Qt::QueuedConnection);
}
