#pragma once

#include <QLoggingCategory>

// Failures of the sound engine that it passes over on purpose.
Q_DECLARE_LOGGING_CATEGORY(lcMedia)
