#pragma once

#include <QLoggingCategory>

// "quadrell.server": silent unless enabled with QT_LOGGING_RULES.
Q_DECLARE_LOGGING_CATEGORY(lcServer)
