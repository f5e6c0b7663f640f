#pragma once

#include <QList>

#include "computerplayer.h"
#include "fieldmirror.h"

class GameBlock;
class GamePlayer;
class GameSimulation;

// Computers playing seats of a simulation in the same process, each as its
// client would: they look at a copy of the field fed by the simulation's
// events, and what they press goes in as the client's next counters. The
// server's computers and the headless simulator play through it.
class ComputerDrive {
public:
    const FieldMirror& mirror() const { return mirror_; }

    void newBlock(const GameBlock& block, int fieldsizeX);
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds);
    void blocksMerged(const QList<GameBlock*>& blocks);

    // What computer presses now for player, the first of its client's, whose
    // block it knows from the last movements only.
    ComputerPlayer::Keys think(ComputerPlayer& computer, const GameSimulation& sim,
                               const GamePlayer& player, qint64 nowMs, bool mayPlan = true) const;
    // Hands the presses to the simulation; false when there were none.
    static bool press(GameSimulation& sim, const GamePlayer& player,
                      const ComputerPlayer::Keys& keys);

private:
    FieldMirror mirror_;
};
