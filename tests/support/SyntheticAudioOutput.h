#pragma once

#include "media/server/AudioOutput.h"

#include "media/server/AudioFormat.h"

#include <QByteArray>

// A playback back end that takes everything the source gives, as fast as the event loop runs,
// and keeps it for the test to compare; its clock says all of it was heard.
class SyntheticAudioOutput : public AudioOutput
{
    Q_OBJECT

public:
    using AudioOutput::AudioOutput;

    void setSink(const QByteArray &) override {}
    Result<> start(const AudioFormat &format, SoundSource *source) override;
    void stop() override;
    qint64 processedUSecs() const override;

    // Pulls at most bytes from the source now, as a sink's period would. Finding it dry, it says
    // so and that everything has been played.
    void pull(qint64 bytes);
    void breakOff(const QString &reason);

    const QByteArray &played() const { return m_played; }
    AudioFormat format() const { return m_format; }
    bool isRunning() const { return m_source != nullptr; }

private:
    SoundSource *m_source = nullptr;
    AudioFormat m_format;
    QByteArray m_played;
};
