#pragma once

#include <QByteArray>

#include <chrono>
#include <optional>

// The sound server's default source and sink, asked of the server itself through libpulse.
struct PulseServerInfo
{
    QByteArray defaultSource; // empty when the server has none
    QByteArray defaultSink;

    // Nothing when no server answers within the timeout. Never starts a server.
    static std::optional<PulseServerInfo> query(std::chrono::milliseconds timeout);
};
