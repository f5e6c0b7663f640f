#pragma once

#include <QList>
#include <QString>
#include <array>
#include <map>
#include <memory>
#include <vector>

#include "game/clock.h"
#include "game/computerdrive.h"
#include "game/computerplayer.h"
#include "game/fieldmirror.h"
#include "game/gamesimulation.h"

// The computer players a game server seats itself: players without a
// connection. Each holds a client id that no connection holds (the server
// tells its connections which), is named CPU_n with the lowest n free, and
// plays through a person's five key counters, which it sets in the simulation
// before every tick. It sees the field on a copy kept from the events the
// clients are sent, so it knows what a client knows and nothing more.
//
// A stand-in is a computer that took over the slot of a player who left a
// running game; it leaves when that game ends.
//
// Planning a piece is the costly part of thinking, and it happens inside the
// server's tick: at most one computer plans per tick, the others wait their
// turn in the order their need came (a tick or two, while their first press
// is not yet due). One whose piece would fall a whole row past its due press
// by waiting plans at once.
//
// Lives on the server's thread; the server calls everything under its mutex.
class ComputerSeats {
public:
    ComputerSeats(GameSimulation& sim, const Clock& clock);
    ~ComputerSeats();

    void setSkill(ComputerSkill skill) { skill_ = skill; }

    bool isSeat(int connId) const { return seats_.count(connId) != 0; }
    // Client ids of the seats, ascending.
    QList<int> ids() const;
    QList<int> standIns() const;
    int count() const { return static_cast<int>(seats_.size()); }
    // The computer on a seat, or nullptr.
    const ComputerPlayer* player(int connId) const;

    // Seats a computer, Ready, in the empty slot under the lowest id that
    // neither a player nor a connection holds; returns the id, -1 if none is
    // free. Its colour is for the server to choose.
    int seatIn(int slot, const QList<int>& connected);
    // A computer takes over the slot of the running game that left has just
    // given up, in its colour; freedId is the leaver's client id, which is
    // taken only when no other is free, so that whatever the leaving client
    // still sends finds nobody. Returns the id, -1 if none is free. The slot's
    // blocks are for the simulation to deal.
    int standIn(int slot, const GamePlayer& left, const QList<int>& connected, int freedId);
    void unseat(int connId);
    // Players in the game who are not computers.
    int humansInGame() const;

    // A game starts: every player's part of the ring is noted, and each
    // computer in the game plays its own.
    void startGame();
    // The first column of the part of the ring the slot had at the start.
    int partOf(int slot) const { return parts_.at(slot); }

    // Every computer in the game presses what it wants to press now.
    void play();

    // What the clients are told of the field, for the copy.
    void newBlock(const GameBlock& block);
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds);
    void blocksMerged(const QList<GameBlock*>& blocks);

private:
    // The computer plays the part of the ring its slot had at the start.
    void joinGame(int connId);
    // The parts beside the slot's that no computer plays.
    ComputerPlayer::Neighbours neighboursOf(int slot) const;
    // A computer came or went in a running game: those beside it reach as far
    // as their new neighbours need.
    void renewNeighbours();
    int freeId(const QList<int>& connected, int freedId) const;
    int seat(int slot, bool standIn, const QList<int>& connected, int freedId);
    // One computer's turn; returns whether it made a plan.
    bool playSeat(int connId, ComputerPlayer& player, qint64 now, bool mayPlan);
    void leaveQueue(int connId);

    struct Seat {
        int number = 0;  // the n of CPU_n
        bool standIn = false;
        std::unique_ptr<ComputerPlayer> player;
    };

    GameSimulation& sim_;
    const Clock& clock_;
    ComputerSkill skill_ = ComputerSkill::Normal;
    std::map<int, Seat> seats_;  // by client id
    struct Waiting {
        int connId = 0;
        qint64 sinceMs = 0;  // when it first asked to plan
    };
    std::vector<Waiting> planQueue_;  // seats waiting to plan, first come first
    std::array<int, GameSimulation::kSlots> parts_{};
    std::array<bool, GameSimulation::kSlots> inRing_{};  // slots with a part this game
    ComputerDrive drive_;
};
