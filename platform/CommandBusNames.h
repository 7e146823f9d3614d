#pragma once

#include "core/Version.h"

#include <QString>

// Where the running copy answers on the session bus: a well-known name after the app id, one
// object and one interface.
namespace CommandBusNames {

inline const QString service = QStringLiteral(TAPEWREN_APP_ID);
inline const QString path = QLatin1Char('/')
                            + QString(service).replace(QLatin1Char('.'), QLatin1Char('/'));
inline const QString interface = service;
// The error a refused command comes back with; its message is the reason.
inline const QString refused = service + QStringLiteral(".Error.Refused");

} // namespace CommandBusNames
