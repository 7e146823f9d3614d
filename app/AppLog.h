#pragma once

#include <QLoggingCategory>

// What the application frame passes over on purpose.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
