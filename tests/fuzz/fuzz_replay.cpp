// The replay reader on arbitrary bytes, and the player on whatever it
// accepts: every accepted file walks to its end without damage, its ticks
// add up to those declared, and playing it stays within its tick budget.
#include <cstddef>
#include <cstdint>

#include "game/replayfile.h"
#include "game/replayplayer.h"
#include "tests/fuzz/fuzzcheck.h"

namespace {

// Enough ticks for pieces to land and rows to go, few enough to stay quick.
constexpr qint64 kBudget = 3000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ReplayFile::ReadResult read = ReplayFile::read(bytes);
    check(read.replay.has_value() != !read.error.isEmpty());
    if (!read.replay) {
        return 0;
    }
    const ReplayFile::Replay& r = *read.replay;
    check(r.ticks >= 0 && r.ticks <= ReplayFile::kMaxTicks);
    ReplayFile::Steps steps(r);
    ReplayFile::Step step;
    qint64 ticks = 0;
    while (steps.next(step)) {
        ticks += step.kind == ReplayFile::Step::Kind::Ticks  ? step.value
                 : step.kind == ReplayFile::Step::Kind::Keys ? step.value + 1
                                                             : 0;
    }
    check(steps.error().isEmpty() && ticks == r.ticks);
    const ReplayPlayer::Outcome out = ReplayPlayer::play(r, kBudget);
    check(out.ticks <= kBudget && out.ticks <= r.ticks);
    check(!out.matches || (out.result == r.result && out.ticks == r.ticks));
    return 0;
}
