#pragma once

#include <QLoggingCategory>

// "quadrell.network": silent unless enabled with QT_LOGGING_RULES.
Q_DECLARE_LOGGING_CATEGORY(lcNetwork)
