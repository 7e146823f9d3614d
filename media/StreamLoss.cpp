#include "media/StreamLoss.h"

#include "media/MediaTexts.h"
#include "platform/PulseServerInfo.h"

#include <chrono>

using namespace std::chrono_literals;

QString StreamLoss::reason(const QByteArray &sink)
{
    // A server that is gone refuses the connection at once; the limit is for one that hangs.
    const Result<PulseServerInfo> server = PulseServerInfo::query(500ms);
    if (!server.ok())
        return MediaTexts::serverLost();
    if (server->sinks.contains(sink))
        return {};
    return MediaTexts::outputDeviceLost();
}
