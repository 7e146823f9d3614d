#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Notices a playback stream that stopped moving without a word: a sink that was removed can
// leave the stream open and silent. When the stream's clock stands still for a while, the
// server is asked whether the sink is still there.
class StreamWatch : public QObject
{
    Q_OBJECT

public:
    // progress: a clock that runs while the stream moves (microseconds handled so far).
    explicit StreamWatch(std::function<qint64()> progress);

    void start(const QByteArray &sink);
    void stop();

signals:
    void lost(const QString &reason);

private:
    void check();

    std::function<qint64()> m_progress;
    QByteArray m_sink;
    QTimer m_timer;
    qint64 m_lastProgress = -1;
    int m_stillChecks = 0;
};
