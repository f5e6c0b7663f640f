#pragma once

#include <QLoggingCategory>

// "quadrell.stats": silent unless enabled with QT_LOGGING_RULES.
Q_DECLARE_LOGGING_CATEGORY(lcStats)
