#include "media/server/PulseServerInfo.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>

#include <algorithm>
#include <memory>

namespace {

struct MainloopFree
{
    void operator()(pa_mainloop *mainloop) const { pa_mainloop_free(mainloop); }
};

struct ContextRelease
{
    void operator()(pa_context *context) const
    {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

struct Query
{
    PulseServerInfo info;
    int pending = 3; // the server's information and its lists of sources and sinks
    bool failed = false;
    bool answered() const { return pending == 0; }
};

void onServerInfo(pa_context *, const pa_server_info *serverInfo, void *userdata)
{
    auto *query = static_cast<Query *>(userdata);
    if (serverInfo) {
        query->info.defaultSource = QByteArray(serverInfo->default_source_name);
        query->info.defaultSink = QByteArray(serverInfo->default_sink_name);
        --query->pending;
    } else {
        query->failed = true;
    }
}

void onSourceInfo(pa_context *, const pa_source_info *sourceInfo, int eol, void *userdata)
{
    auto *query = static_cast<Query *>(userdata);
    if (eol < 0)
        query->failed = true;
    else if (eol > 0)
        --query->pending;
    else if (sourceInfo)
        query->info.sources.append(QByteArray(sourceInfo->name));
}

void onSinkInfo(pa_context *, const pa_sink_info *sinkInfo, int eol, void *userdata)
{
    auto *query = static_cast<Query *>(userdata);
    if (eol < 0)
        query->failed = true;
    else if (eol > 0)
        --query->pending;
    else if (sinkInfo)
        query->info.sinks.append(QByteArray(sinkInfo->name));
}

void onContextState(pa_context *context, void *userdata)
{
    auto *query = static_cast<Query *>(userdata);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        // The context keeps the operation alive; the answer comes through the callback.
        if (pa_operation *operation = pa_context_get_server_info(context, onServerInfo, query))
            pa_operation_unref(operation);
        else
            query->failed = true;
        if (pa_operation *operation = pa_context_get_source_info_list(context, onSourceInfo, query))
            pa_operation_unref(operation);
        else
            query->failed = true;
        if (pa_operation *operation = pa_context_get_sink_info_list(context, onSinkInfo, query))
            pa_operation_unref(operation);
        else
            query->failed = true;
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        query->failed = true;
        break;
    default:
        break;
    }
}

} // namespace

Result<PulseServerInfo> PulseServerInfo::query(std::chrono::milliseconds timeout)
{
    const Failure unreachable(QStringLiteral(u"无法连接声音服务器"));
    Query query; // outlives the context, which may still call back while it disconnects
    std::unique_ptr<pa_mainloop, MainloopFree> mainloop(pa_mainloop_new());
    if (!mainloop)
        return unreachable;
    const QByteArray clientName = QCoreApplication::applicationName().toUtf8();
    std::unique_ptr<pa_context, ContextRelease> context(
            pa_context_new(pa_mainloop_get_api(mainloop.get()),
                           clientName.isEmpty() ? "tapewren" : clientName.constData()));
    if (!context)
        return unreachable;

    pa_context_set_state_callback(context.get(), onContextState, &query);
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return unreachable;

    const QDeadlineTimer deadline(timeout);
    while (!query.answered() && !query.failed && !deadline.hasExpired()) {
        const qint64 leftUs = std::max<qint64>(deadline.remainingTimeNSecs() / 1000, 0);
        if (pa_mainloop_prepare(mainloop.get(), int(std::min<qint64>(leftUs, 100'000))) < 0
            || pa_mainloop_poll(mainloop.get()) < 0 || pa_mainloop_dispatch(mainloop.get()) < 0)
            break;
    }
    if (!query.answered())
        return unreachable;
    return query.info;
}
