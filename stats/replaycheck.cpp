#include "replaycheck.h"

#include <QElapsedTimer>

#include "game/replayfile.h"
#include "game/replayplayer.h"
#include "network/statsquery.h"

namespace {

// The report's play time in the replay's words, compacted as the report writes it.
QString compact(int seconds) {
    return QStringLiteral("%1%2%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

ReplayVerification verifyReplay(const QByteArray& bytes, const GameReport& report,
                                const ReplayBudget& budget) {
    QElapsedTimer steady;
    steady.start();
    const auto now = [&] { return budget.clockMs ? budget.clockMs() : steady.elapsed(); };
    const qint64 started = now();
    ReplayVerification out;
    const ReplayFile::ReadResult read = ReplayFile::read(bytes);
    if (!read.replay) {
        out.reason = QStringLiteral("replay unreadable: ") + read.error;
        return out;
    }
    const ReplayFile::Replay& replay = *read.replay;
    if (replay.ticks > budget.maxTicks) {
        out.verdict = ReplayVerdict::OverBudget;
        out.reason = QStringLiteral("replay of %1 ticks is beyond the budget of %2")
                         .arg(replay.ticks)
                         .arg(budget.maxTicks);
        return out;
    }
    const ReplayPlayer::Outcome played = ReplayPlayer::play(replay, budget.maxTicks);
    out.ticks = played.ticks;
    out.elapsedMs = now() - started;
    if (out.elapsedMs > budget.maxMs) {
        out.verdict = ReplayVerdict::OverBudget;
        out.reason = QStringLiteral("replay took %1 ms, beyond the budget of %2 ms")
                         .arg(out.elapsedMs)
                         .arg(budget.maxMs);
        return out;
    }
    out.verdict = ReplayVerdict::Mismatch;
    if (!played.matches) {
        out.reason =
            QStringLiteral("replay plays to %1, not to its recorded %2")
                .arg(played.error.isEmpty() ? ReplayPlayer::describe(played.result) : played.error,
                     ReplayPlayer::describe(replay.result));
        return out;
    }
    const ReplayFile::Result& r = replay.result;
    if (r.score != report.score || r.lines != report.lines ||
        StatsQuery::compactPlaytime(r.playtime) != compact(report.playtimeSeconds)) {
        out.reason = QStringLiteral("replay plays to %1, not to the reported score %2, %3 lines")
                         .arg(ReplayPlayer::describe(r))
                         .arg(report.score)
                         .arg(report.lines);
        return out;
    }
    out.verdict = ReplayVerdict::Verified;
    return out;
}
