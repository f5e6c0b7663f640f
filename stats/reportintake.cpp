#include "reportintake.h"

ReportIntake::ReportIntake(StatsStore& store, const Limits& limits)
    : store_(store), limits_(limits), limiter_(limits.burst, limits.refillMs) {}

ReportIntake::Outcome ReportIntake::take(const QUrlQuery& query, const QHostAddress& from,
                                         qint64 nowMs) {
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
    switch (store_.add(check.report, source.toString(), nowMs, nowMs - limits_.retryWindowMs)) {
        case StatsStore::Added::Stored:
            return {Verdict::Accepted, QString(), check.report};
        case StatsStore::Added::Duplicate:
            return {Verdict::Retry, QStringLiteral("stored before"), check.report};
        case StatsStore::Added::Failed:
            break;
    }
    return {Verdict::Unstored, QStringLiteral("database: ") + store_.error().simplified(),
            check.report};
}
