#include "replaycheck.h"

#include <QElapsedTimer>
#include <array>

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

// Who is in the game at its end, in slot order, as the server names them in
// its report: the players at the start, and those who joined, less those who left.
QStringList playersAtTheEnd(const ReplayFile::Replay& replay) {
    std::array<QString, ReplayFile::kSlots> names;
    const auto at = [&](int slot) -> QString& { return names[std::size_t(slot) % names.size()]; };
    for (const ReplayFile::Seat& s : replay.seats) {
        at(s.slot) = s.name;
    }
    ReplayFile::Steps steps(replay);
    ReplayFile::Step step;
    while (steps.next(step)) {
        if (step.kind == ReplayFile::Step::Kind::Join) {
            at(step.seat.slot) = step.seat.name;
        } else if (step.kind == ReplayFile::Step::Kind::Leave) {
            at(step.seat.slot).clear();
        }
    }
    QStringList out;
    for (const QString& name : names) {
        if (!name.isEmpty()) {
            out << name;
        }
    }
    return out;
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
    // Before the work: another's replay under one's own name proves nothing.
    if (playersAtTheEnd(replay) != report.players) {
        out.verdict = ReplayVerdict::Mismatch;
        out.reason = QStringLiteral("replay is a game of %1, not of the reported players")
                         .arg(playersAtTheEnd(replay).join(QLatin1Char(' ')));
        return out;
    }
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
