#pragma once

#include <QString>
#include <optional>

#include "replayfile.h"

// Plays a replay on a fresh simulation with a clock of its own, as fast as
// it can, and compares the result with the recorded one.
namespace ReplayPlayer {

struct Outcome {
    std::optional<ReplayFile::Result> result;  // none: the game did not end
    qint64 ticks = 0;                          // played
    bool matches = false;                      // the same result, on the very last recorded tick
    QString error;                             // the records ask what the game cannot do
};

// Plays at most maxTicks ticks.
Outcome play(const ReplayFile::Replay& replay, qint64 maxTicks = ReplayFile::kMaxTicks);

// One line: the result, or why there is none.
QString describe(const std::optional<ReplayFile::Result>& result);

}  // namespace ReplayPlayer
