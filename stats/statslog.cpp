#include "statslog.h"

Q_LOGGING_CATEGORY(lcStats, "quadrell.stats", QtWarningMsg)
