#include "core/Logging.h"

Q_LOGGING_CATEGORY(lcSkipped, "tapewren.skipped", QtInfoMsg)
