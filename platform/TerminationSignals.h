#pragma once

#include "platform/UniqueFd.h"

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGHUP (logout, shutdown, kill) into a signal on the main thread, so the
// program can put its recording safely on disk before it ends. One per program.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void onReadable();

    UniqueFd m_read;
    UniqueFd m_write;
    QSocketNotifier *m_notifier = nullptr;
};
