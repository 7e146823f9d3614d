#pragma once

#include <QByteArray>
#include <QList>

// The sound server's default source and sink and the sources and sinks it has, as the server
// itself says.
struct PulseServerInfo
{
    QByteArray defaultSource; // empty when the server has none
    QByteArray defaultSink;
    QList<QByteArray> sources; // monitors of sinks included
    QList<QByteArray> sinks;
};
