#pragma once

// Policy players on the real rules, fed to a field copy as the client feeds it.
#include <memory>

#include "fieldrun.h"
#include "gui/scene/scenefield.h"

class SceneFeed : public GameEvents {
public:
    explicit SceneFeed(SceneField& field) : field_(field) {}

    void newBlock(const GameBlock& b) override {
        field_.field().processNewBlock(BlockRecord::of(b), b.fieldsizeX());
    }
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) override {
        field_.field().processMoveBlocks(GameMovement::of(blocks), activeIds);
    }
    void blocksMerged(const QList<GameBlock*>& blocks) override {
        field_.field().processMergeBlocks(GameMovement::of(blocks));
    }
    void gameOver(int, int, const QString&) override {}

private:
    SceneField& field_;
};

// Plays players * 12 columns for ticks of the server's loop into field.
inline std::unique_ptr<FieldRun> playInto(SceneField& field, SceneFeed& feed, int players,
                                          int ticks, std::uint32_t seed = 3) {
    field.setFieldsizeX(players * 12);
    auto run = std::make_unique<FieldRun>(players * 12, seed, false, &feed);
    for (int t = 0; t < ticks && !run->over(); ++t) {
        run->step();
    }
    return run;
}
