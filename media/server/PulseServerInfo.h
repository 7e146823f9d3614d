#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QList>

#include <chrono>

// The sound server's default source and sink and the sources and sinks it has, asked of the server itself
// through libpulse.
struct PulseServerInfo
{
    QByteArray defaultSource; // empty when the server has none
    QByteArray defaultSink;
    QList<QByteArray> sources; // monitors of sinks included
    QList<QByteArray> sinks;

    // Fails when no server answers within the timeout. Never starts a server.
    static Result<PulseServerInfo> query(std::chrono::milliseconds timeout);
};
