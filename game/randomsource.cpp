#include "randomsource.h"

#include <QTime>

RandomSource& RandomSource::forThisThread() {
    thread_local RandomSource source;
    return source;
}

std::uint32_t RandomSource::secondsSinceMidnight() {
    return static_cast<std::uint32_t>(QTime::currentTime().msecsSinceStartOfDay() / 1000);
}
