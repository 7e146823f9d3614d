#pragma once

#include <QLoggingCategory>

// Statements that a procedure skipped because they failed: one line each, so that a bug report
// can say what went wrong even though the window said nothing.
Q_DECLARE_LOGGING_CATEGORY(lcSkipped)
