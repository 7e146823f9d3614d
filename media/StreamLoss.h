#pragma once

#include <QByteArray>
#include <QString>

// Why a playback stream to the sound server stopped: the server went away, or only the sink it
// played to did (unplugged, its module unloaded), which the server can still tell.
namespace StreamLoss {

// Empty while the server and the sink (by its server name) are both still there.
QString reason(const QByteArray &sink);

} // namespace StreamLoss
