#pragma once

#include <QHostAddress>
#include <QString>
#include <QUrlQuery>

#include "gamereport.h"
#include "network/ratelimiter.h"
#include "statsstore.h"

// Takes the reports of game servers: rate limit per address, checks, retries
// recognised, then the store. The answer "true" means the game is stored
// (now or by an earlier attempt); anything else makes the game server try
// again, which is only worth it when the store failed.
class ReportIntake {
public:
    struct Limits {
        int burst = 60;                         // reports from one address in a burst ...
        int refillMs = 1000;                    // ... then one more every this many ms
        qint64 retryWindowMs = 10 * 60 * 1000;  // a repeat within this is a retry
    };
    enum class Verdict { Accepted, Retry, Refused, Limited, Unstored };
    struct Outcome {
        Verdict verdict = Verdict::Refused;
        QString reason;
        GameReport report;
        bool stored() const { return verdict == Verdict::Accepted || verdict == Verdict::Retry; }
    };

    ReportIntake(StatsStore& store, const Limits& limits);

    // nowMs: the wall clock, ms since the epoch.
    Outcome take(const QUrlQuery& query, const QHostAddress& from, qint64 nowMs);

private:
    StatsStore& store_;
    Limits limits_;
    RateLimiter limiter_;
};
