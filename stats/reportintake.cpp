#include "reportintake.h"

ReportIntake::ReportIntake(StatsStore& store, const Limits& limits, ReplayBudget budget)
    : store_(store),
      limits_(limits),
      budget_(std::move(budget)),
      limiter_(limits.burst, limits.refillMs) {}

ReportIntake::Outcome ReportIntake::take(const QUrlQuery& query, const QHostAddress& from,
                                         qint64 nowMs) {
    return takeChecked(query, nullptr, from, nowMs);
}

ReportIntake::Outcome ReportIntake::takeWithReplay(const QUrlQuery& query, const QByteArray& replay,
                                                   const QHostAddress& from, qint64 nowMs) {
    return takeChecked(query, &replay, from, nowMs);
}

ReportIntake::Outcome ReportIntake::takeChecked(const QUrlQuery& query, const QByteArray* replay,
                                                const QHostAddress& from, qint64 nowMs) {
    // One address in one notation, however the socket reports it.
    bool v4 = false;
    const quint32 ipv4 = from.toIPv4Address(&v4);
    const QHostAddress source = v4 ? QHostAddress(ipv4) : from;
    if (!limiter_.allow(source, nowMs)) {
        return {Verdict::Limited, QStringLiteral("too many reports from this address"), {}};
    }
    ReportCheck check = checkReport(query);
    if (check.fault != ReportFault::None) {
        return {Verdict::Refused, check.reason, {}};
    }
    if (replay) {
        if (check.report.gameId.isEmpty()) {
            return {Verdict::Refused, QStringLiteral("a replay needs the game's id"), {}};
        }
        // Checked before the store is asked: a refused replay leaves no trace.
        const ReplayVerification v = verifyReplay(*replay, check.report, budget_);
        if (v.verdict != ReplayVerdict::Verified) {
            return {v.verdict == ReplayVerdict::OverBudget ? Verdict::OverBudget : Verdict::Refused,
                    v.reason, check.report};
        }
    }
    const QByteArray proof = replay ? *replay : QByteArray();
    switch (
        store_.add(check.report, source.toString(), nowMs, nowMs - limits_.retryWindowMs, proof)) {
        case StatsStore::Added::Stored:
            return {Verdict::Accepted, QString(), check.report};
        case StatsStore::Added::Verified:
            return {Verdict::Verified, QString(), check.report};
        case StatsStore::Added::Duplicate:
            return {Verdict::Retry, QStringLiteral("stored before"), check.report};
        case StatsStore::Added::ReplayTaken:
            return {Verdict::Refused, QStringLiteral("replay proves another game stored before"),
                    check.report};
        case StatsStore::Added::Failed:
            break;
    }
    return {Verdict::Unstored, QStringLiteral("database: ") + store_.error().simplified(),
            check.report};
}
