#pragma once

#include "media/AudioInput.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QPointer>

#include <pulse/def.h>
#include <pulse/sample.h>

#include <atomic>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;
class QSocketNotifier;

// Capture straight from the sound server through libpulse's asynchronous API. The server hands
// over about ten fragments a second; each wakes the main thread once, which writes the server's
// own memory block into the sink and gives it back, so no buffer is copied or allocated on the
// way. The stream stays on its source: when that source goes away the capture ends and says so,
// rather than going on from another device. Any source can be recorded, monitors of outputs
// ("what you hear") included.
class PulseAudioInput : public AudioInput
{
    Q_OBJECT

public:
    explicit PulseAudioInput(QObject *parent = nullptr);
    ~PulseAudioInput() override;

    // The device's id is the server's name for the source; a null device means the server's
    // default source at the time of each start.
    void setDevice(const QAudioDevice &device) override;
    void setSource(const QByteArray &name) { m_source = name; }
    Result<> start(const QAudioFormat &format, QIODevice *sink) override;
    void stop() override;

private:
    static void onContextState(pa_context *context, void *self);
    static void onStreamState(pa_stream *stream, void *self);
    static void onReadable(pa_stream *stream, size_t bytes, void *self);

    // These run on the main thread with the main loop locked.
    bool connectContext();
    template<typename Ready>
    bool waitFor(Ready ready, int timeoutMs);
    void deliver();
    void deliverTail();
    QString whyBroken() const;

    void wake();
    void onWake();

    pa_threaded_mainloop *m_mainloop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    pa_sample_spec m_spec{};
    pa_buffer_attr m_attr{};
    QByteArray m_source;
    QPointer<QIODevice> m_sink;
    UniqueFd m_wakeFd; // the server thread's knock on the main thread's door
    QSocketNotifier *m_notifier = nullptr;
    std::atomic<bool> m_knocked{false};
    qint64 m_deliveredBytes = 0; // since the stream started
    QElapsedTimer m_running;     // since the stream started
};
