#pragma once

#include "core/Result.h"

#include <QByteArray>

#include <chrono>

// The sound server's default source and sink, asked of the server itself through libpulse.
struct PulseServerInfo
{
    QByteArray defaultSource; // empty when the server has none
    QByteArray defaultSink;

    // Fails when no server answers within the timeout. Never starts a server.
    static Result<PulseServerInfo> query(std::chrono::milliseconds timeout);
};
