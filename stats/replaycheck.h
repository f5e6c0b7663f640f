#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "gamereport.h"

// What the service spends on playing one replay again. Ticks bound the work
// itself; the wall time catches a machine too busy to get through them.
struct ReplayBudget {
    qint64 maxTicks = 3LL * 3600 * 50;  // three hours of play
    qint64 maxMs = 5000;
    // A monotonic clock in ms; the steady clock when empty.
    std::function<qint64()> clockMs;
};

enum class ReplayVerdict { Verified, Unreadable, Mismatch, OverBudget };

struct ReplayVerification {
    ReplayVerdict verdict = ReplayVerdict::Unreadable;
    QString reason;  // for the log and the refusal, unless verified
    qint64 ticks = 0;
    qint64 elapsedMs = 0;
};

// Reads the replay, plays it again within the budget and compares its result
// with the report's score, lines and play time; the players in the game at
// its end must be the reported ones.
ReplayVerification verifyReplay(const QByteArray& bytes, const GameReport& report,
                                const ReplayBudget& budget);
