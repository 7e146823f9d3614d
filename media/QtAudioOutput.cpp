#include "media/QtAudioOutput.h"

#include "media/MediaTexts.h"
#include "media/StreamLoss.h"

#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>

QtAudioOutput::QtAudioOutput(QObject *parent)
    : AudioOutput(parent)
    , m_watch([this] { return m_sink ? m_sink->processedUSecs() : 0; })
{
    connect(&m_watch, &StreamWatch::lost, this, &AudioOutput::failed);
}

QString QtAudioOutput::lossReason() const
{
    const QString reason = StreamLoss::reason(m_deviceName);
    return reason.isEmpty() ? MediaTexts::outputDeviceLost() : reason;
}

QtAudioOutput::~QtAudioOutput()
{
    stop();
}

namespace {

// Qt's device list is looked at only here, when sound is to be played: building it connects to
// the sound server, which a start-up has no need to wait for.
QAudioDevice outputNamed(const QByteArray &sinkName)
{
    if (sinkName.isEmpty())
        return QMediaDevices::defaultAudioOutput();
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    const auto named = std::find_if(outputs.begin(),
                                    outputs.end(),
                                    [&](const QAudioDevice &output) {
                                        return output.id() == sinkName;
                                    });
    return named == outputs.end() ? QAudioDevice() : *named;
}

} // namespace

Result<> QtAudioOutput::start(const QAudioFormat &format, QIODevice *source)
{
    stop();
    const QAudioDevice device = outputNamed(m_sinkName);
    if (device.isNull()) {
        // without a sound server Qt lists no device at all
        return Failure(QMediaDevices::audioInputs().isEmpty() ? MediaTexts::noSoundServer()
                                                              : MediaTexts::noOutputDevice());
    }
    if (!device.isFormatSupported(format))
        return Failure(MediaTexts::formatNotSupported());

    m_sink = std::make_unique<QAudioSink>(device, format);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &QtAudioOutput::onStateChanged);
    m_sink->start(source);
    if (m_sink->error() != QAudio::NoError && m_sink->state() == QAudio::StoppedState) {
        stop();
        return Failure(MediaTexts::noSoundServer());
    }
    m_deviceName = device.id();
    m_watch.start(m_deviceName);
    return {};
}

void QtAudioOutput::stop()
{
    m_watch.stop();
    if (!m_sink)
        return;
    m_sink->disconnect(this);
    m_sink->stop();
    m_sink.reset();
}

qint64 QtAudioOutput::processedUSecs() const
{
    return m_sink ? m_sink->processedUSecs() : 0;
}

void QtAudioOutput::onStateChanged(QAudio::State state)
{
    if (!m_sink)
        return;
    if (state == QAudio::IdleState) {
        emit idle();
    } else if (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError) {
        // let the sink finish its signal before anyone tears it down
        QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_sink && m_sink->error() != QAudio::NoError
                        && m_sink->state() == QAudio::StoppedState)
                        emit failed(lossReason());
                },
                Qt::QueuedConnection);
    }
}
