#include "replayplayer.h"

#include <memory>

#include "clock.h"
#include "gamesimulation.h"

namespace ReplayPlayer {

namespace {

// Hears the end of the game; the rest is for those who show it.
class ResultSink : public GameEvents {
public:
    void newBlock(const GameBlock&) override {}
    void blocksMoved(const QList<GameBlock*>&, const QList<int>&) override {}
    void blocksMerged(const QList<GameBlock*>&) override {}
    void gameOver(int score, int lines, const QString& playtime) override {
        result = ReplayFile::Result{score, lines, playtime};
    }
    std::optional<ReplayFile::Result> result;
};

// The server's own moves around the simulation, done again.
class Run {
public:
    Run(const ReplayFile::Replay& replay, qint64 maxTicks)
        : replay_(replay),
          maxTicks_(std::min(maxTicks, replay.ticks)),
          random_(replay.seed),
          sim_(random_, clock_) {
        sim_.setEvents(&sink_);
    }

    Outcome play() {
        for (const ReplayFile::Seat& s : replay_.seats) {
            seat(s);
            sim_.player(s.slot)->setSpawn(s.spawnColumn, s.spawnRow);
        }
        sim_.startGame(replay_.columns);
        ReplayFile::Steps steps(replay_);
        ReplayFile::Step step;
        while (out_.error.isEmpty() && !sink_.result && steps.next(step)) {
            apply(step);
        }
        if (!steps.error().isEmpty() && out_.error.isEmpty()) {
            out_.error = steps.error();
        }
        out_.result = sink_.result;
        out_.matches =
            out_.error.isEmpty() && out_.result == replay_.result && out_.ticks == replay_.ticks;
        return std::move(out_);
    }

private:
    void seat(const ReplayFile::Seat& s) {
        // The slot stands for the connection: the simulation only tells them apart.
        if (!sim_.addPlayer(s.slot, s.slot, 0,
                            std::make_unique<GamePlayer>(s.slot, s.name, s.colour, false,
                                                         GamePlayer::Playing))) {
            out_.error = QStringLiteral("slot %1 is taken").arg(s.slot);
        }
    }

    void apply(const ReplayFile::Step& step) {
        using Kind = ReplayFile::Step::Kind;
        switch (step.kind) {
            case Kind::Ticks:
                ticks(step.value);
                break;
            case Kind::Keys:
                ticks(step.value);
                for (int slot = 0; slot < ReplayFile::kSlots; ++slot) {
                    GamePlayer* p = sim_.player(slot);
                    if (step.changed & (1 << slot)) {
                        if (!p) {
                            out_.error = QStringLiteral("keys for the empty slot %1").arg(slot);
                            return;
                        }
                        p->keyCount() = step.keys[std::size_t(slot)];
                    }
                }
                ticks(1);
                break;
            case Kind::Begin:
                clock_.set(step.value);
                sim_.beginPlay();
                break;
            case Kind::Pause:
            case Kind::Resume:
                clock_.set(step.value);
                sim_.setPaused(step.kind == Kind::Pause);
                break;
            case Kind::Join:
                seat(step.seat);
                if (out_.error.isEmpty()) {
                    sim_.player(step.seat.slot)->setSpawn(step.seat.spawnColumn, 0);
                    sim_.dealBlocks(step.seat.slot);
                }
                break;
            case Kind::Leave:
                leave(step.seat.slot);
                break;
            case Kind::Away:
            case Kind::Back:
                if (GamePlayer* p = sim_.player(step.seat.slot)) {
                    p->setAway(step.kind == Kind::Away);
                    if (step.kind == Kind::Back) {
                        p->resetKeys(true);  // its client counts from 0 again
                    }
                } else {
                    out_.error = QStringLiteral("nobody in the empty slot %1").arg(step.seat.slot);
                }
                break;
        }
    }

    void leave(int slot) {
        const GamePlayer* p = sim_.player(slot);
        if (!p) {
            out_.error = QStringLiteral("nobody leaves the empty slot %1").arg(slot);
            return;
        }
        if (p->currentBlock()) {
            sim_.field().releaseCells(*p->currentBlock());
        }
        sim_.takePlayer(slot);
    }

    void ticks(qint64 n) {
        for (qint64 i = 0; i < n && !sink_.result; ++i) {
            if (out_.ticks >= maxTicks_) {
                out_.error = QStringLiteral("stopped after %1 ticks").arg(out_.ticks);
                return;
            }
            ++out_.ticks;
            // Only the last tick's reading counts for the play time.
            if (out_.ticks == replay_.ticks) {
                clock_.set(replay_.endMs);
            } else {
                clock_.advance(GameSimulation::kTickMs);
            }
            sim_.mainLoop();
        }
    }

    const ReplayFile::Replay& replay_;
    qint64 maxTicks_;
    RandomSource random_;
    ManualClock clock_;
    GameSimulation sim_;
    ResultSink sink_;
    Outcome out_;
};

}  // namespace

Outcome play(const ReplayFile::Replay& replay, qint64 maxTicks) {
    return Run(replay, maxTicks).play();
}

QString describe(const std::optional<ReplayFile::Result>& result) {
    if (!result) {
        return QStringLiteral("no end of the game");
    }
    return QStringLiteral("score %1, %2 lines, play time %3")
        .arg(result->score)
        .arg(result->lines)
        .arg(result->playtime);
}

}  // namespace ReplayPlayer
