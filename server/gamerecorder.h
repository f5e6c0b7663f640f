#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

#include "game/clock.h"
#include "game/gamesimulation.h"
#include "game/randomsource.h"
#include "game/replayfile.h"

// Keeps every game the server runs as a replay (ReplayFile). It hands the
// simulation the random source the game's pieces come from, seeded anew at
// each start, and the clock the play time is measured by, whose readings it
// notes; the server tells it what it did to the simulation. A game that ends
// with a result is kept as a file in the folder (none: kept nowhere) and as
// bytes; one broken off is dropped. Only what the server does is noted: a
// test that jumps the speed or lays boxes by hand records another game.
class GameRecorder {
public:
    // The file's time and the folder's content are the caller's to fix in tests.
    using Now = std::function<QDateTime()>;

    // seeds: where each game's seed is drawn from; clock: the simulation's.
    GameRecorder(RandomSource& seeds, const Clock& clock, QString folder, Now now = {});

    RandomSource& random() { return random_; }
    const Clock& clock() const { return tap_; }

    // Before GameSimulation::startGame: draws the seed and notes the players
    // in the game, their spawn places set.
    void start(const GameSimulation& sim, int columns, const QList<int>& computers);
    // After GameSimulation::beginPlay.
    void beginPlay();
    // After a GameSimulation::setPaused that changed the pause.
    void paused(bool paused);
    // Before each GameSimulation::mainLoop, with the counters in place.
    void tick(const GameSimulation& sim);
    // After the slot's player was dealt blocks in the running game.
    void joined(const GameSimulation& sim, int slot, bool computer);
    // Before the slot's player, in the game, is taken out of it.
    void left(int slot);
    // The slot's player dropped and its piece waits, or it is back (its
    // counters from 0).
    void away(int slot, bool away);
    // The game ended with this result: the replay is finished and kept.
    // Returns its bytes; empty when no game was recorded.
    QByteArray finish(int score, int lines, const QString& playtime);
    // The game was broken off.
    void drop() { writer_.reset(); }

    bool recording() const { return writer_ != nullptr; }
    // The last finished replay, and the file it went to (empty: none).
    const QByteArray& lastReplay() const { return last_; }
    const QString& lastFile() const { return lastFile_; }

private:
    // Passes the simulation's clock through and keeps its last reading: the
    // times noted are the very ones the play time was measured by.
    class ClockTap : public Clock {
    public:
        explicit ClockTap(const Clock& source) : source_(source) {}
        qint64 nowMs() const override {
            last_ = source_.nowMs();
            return last_;
        }
        qint64 last() const { return last_; }

    private:
        const Clock& source_;
        mutable qint64 last_ = 0;
    };

    qint64 sinceStart() const { return tap_.last() - startMs_; }
    QString keep(const QByteArray& bytes, int score) const;

    RandomSource& seeds_;
    RandomSource random_;
    ClockTap tap_;
    QString folder_;
    Now now_;
    std::unique_ptr<ReplayFile::Writer> writer_;
    qint64 startMs_ = 0;
    QByteArray last_;
    QString lastFile_;
};
