#pragma once

#include <QHostAddress>
#include <QString>
#include <QUrlQuery>

#include "gamereport.h"
#include "network/ratelimiter.h"
#include "replaycheck.h"
#include "statsstore.h"

// Takes the reports of game servers: rate limit per address, checks, retries
// recognised, then the store. The answer "true" means the game is stored
// (now or by an earlier attempt); anything else makes the game server try
// again, which is only worth it when the store failed.
//
// A report may come with its replay, which is played again within the budget:
// the game is stored as verified only if the replay plays to the reported
// result, and not at all otherwise.
class ReportIntake {
public:
    struct Limits {
        int burst = 60;                         // reports from one address in a burst ...
        int refillMs = 1000;                    // ... then one more every this many ms
        qint64 retryWindowMs = 10 * 60 * 1000;  // a repeat within this is a retry
    };
    // Verified: a game stored before without its replay gained it.
    enum class Verdict { Accepted, Verified, Retry, Refused, OverBudget, Limited, Unstored };
    struct Outcome {
        Verdict verdict = Verdict::Refused;
        QString reason;
        GameReport report;
        bool stored() const {
            return verdict == Verdict::Accepted || verdict == Verdict::Verified ||
                   verdict == Verdict::Retry;
        }
    };

    ReportIntake(StatsStore& store, const Limits& limits, ReplayBudget budget = {});

    // nowMs: the wall clock, ms since the epoch.
    Outcome take(const QUrlQuery& query, const QHostAddress& from, qint64 nowMs);
    // The report with its replay, which must prove it; the report needs a game id.
    Outcome takeWithReplay(const QUrlQuery& query, const QByteArray& replay,
                           const QHostAddress& from, qint64 nowMs);

private:
    Outcome takeChecked(const QUrlQuery& query, const QByteArray* replay, const QHostAddress& from,
                        qint64 nowMs);

    StatsStore& store_;
    Limits limits_;
    ReplayBudget budget_;
    RateLimiter limiter_;
};
