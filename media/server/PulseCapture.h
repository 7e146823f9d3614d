#pragma once

#include "media/server/AudioInput.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QPointer>

#include <pulse/def.h>
#include <pulse/sample.h>

#include <memory>
#include <vector>

struct pa_stream;
class PulseConnection;

// Capture straight from the sound server through libpulse's asynchronous API, run on Qt's own
// event loop: the server's blocks arrive on the main thread as they come, with no thread of
// libpulse's own. A fragment's blocks (about a tenth of a second) are gathered in a buffer made
// once per take and written into the sink in one go. The stream stays on its source: when that
// source goes away the capture ends and says so, rather than going on from another device. Any
// source can be recorded, monitors of outputs ("what you hear") included.
class PulseCapture : public AudioInput
{
    Q_OBJECT

public:
    explicit PulseCapture(QObject *parent = nullptr);
    ~PulseCapture() override;

    void setSource(const QByteArray &sourceName) override { m_source = sourceName; }
    Result<> start(const AudioFormat &format, QIODevice *sink) override;
    void stop() override;

private:
    void onContextEnded();
    static void onStreamState(pa_stream *stream, void *self);
    static void onReadable(pa_stream *stream, size_t bytes, void *self);

    void take();
    void passOn();
    void takeTail();
    void releaseStream();
    void breakOff();

    std::unique_ptr<PulseConnection> m_pulse;
    pa_stream *m_stream = nullptr;
    pa_sample_spec m_spec{};
    pa_buffer_attr m_attr{};
    QByteArray m_source;
    QPointer<QIODevice> m_sink;
    qint64 m_takenBytes = 0;   // since the stream started
    QElapsedTimer m_running;   // since the stream started
    std::vector<char> m_batch; // a fragment's blocks, gathered
    bool m_breakingOff = false;
};
