#pragma once

#include <QTest>

#include "apps/fieldsim/fieldrun.h"
#include "game/fieldmirror.h"

// Passes a game's events to a field copy as records, as the client receives them.
class WireFeed : public GameEvents {
public:
    WireFeed(FieldMirror& mirror, int fieldsizeX) : mirror_(mirror), fieldsizeX_(fieldsizeX) {}

    void newBlock(const GameBlock& b) override {
        mirror_.addBlock(BlockRecord::of(b), fieldsizeX_);
    }
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) override {
        QVERIFY(!mirror_.moveBlocks(GameMovement::of(blocks), activeIds));
    }
    void blocksMerged(const QList<GameBlock*>& blocks) override {
        mirror_.mergeBlocks(GameMovement::of(blocks));
    }
    void gameOver(int, int, const QString&) override {}

private:
    FieldMirror& mirror_;
    int fieldsizeX_;
};
