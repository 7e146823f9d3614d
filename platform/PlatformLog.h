#pragma once

#include <QLoggingCategory>

// Failures of the platform services that they pass over on purpose.
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
