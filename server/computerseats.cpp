#include "computerseats.h"

#include <algorithm>

#include "game/gamegrid.h"
#include "game/playerkey.h"
#include "game/playernames.h"

namespace {

constexpr int kColumnsPerPlayer = GameField::kColumnsPerPlayer;

// Waiting one more tick to plan makes the first press that much later, and
// the piece falls on meanwhile: a whole row could close the way to the place
// it aims for. A piece that stood still with nothing to press before it had
// to plan anew loses time only from when it asked.
bool waitCostsARow(const ComputerPlayer& player, qint64 now, int speed, qint64 askedMs) {
    const qint64 late = now + ComputerPlayer::kTickMs - std::max(player.pressDueMs(), askedMs);
    if (late <= 0) {
        return false;
    }
    const qint64 ticks = (late + ComputerPlayer::kTickMs - 1) / ComputerPlayer::kTickMs;
    return speed * ticks >= GameGrid::kCell;
}

}  // namespace

ComputerSeats::ComputerSeats(GameSimulation& sim, const Clock& clock) : sim_(sim), clock_(clock) {}

ComputerSeats::~ComputerSeats() = default;

QList<int> ComputerSeats::ids() const {
    QList<int> out;
    for (const auto& [connId, seat] : seats_) {
        out.append(connId);
    }
    return out;
}

const ComputerPlayer* ComputerSeats::player(int connId) const {
    const auto it = seats_.find(connId);
    return it == seats_.end() ? nullptr : it->second.player.get();
}

QList<int> ComputerSeats::standIns() const {
    QList<int> out;
    for (const auto& [connId, seat] : seats_) {
        if (seat.standIn) {
            out.append(connId);
        }
    }
    return out;
}

int ComputerSeats::freeId(const QList<int>& connected, int freedId) const {
    const auto free = [&](int id) {
        return !isSeat(id) && sim_.findPlayer(id, 0) < 0 && sim_.findPlayer(id, 1) < 0 &&
               (id == freedId || !connected.contains(id));
    };
    for (int id = 0; id < GameSimulation::kSlots; ++id) {
        if (id != freedId && free(id)) {
            return id;
        }
    }
    return freedId >= 0 && free(freedId) ? freedId : -1;
}

int ComputerSeats::seat(int slot, bool standIn, const QList<int>& connected, int freedId) {
    const int id = freeId(connected, freedId);
    if (id < 0 || sim_.player(slot)) {
        return -1;
    }
    int number = 1;
    while (std::any_of(seats_.begin(), seats_.end(),
                       [number](const auto& s) { return s.second.number == number; })) {
        ++number;
    }
    // Names travel between spaces: the space becomes '_' as in anyone's name.
    const QString name =
        PlayerNames::sanitised(QStringLiteral("CPU %1").arg(number), QStringLiteral("_"));
    sim_.addPlayer(slot, id, 0,
                   std::make_unique<GamePlayer>(id, name, -1, true, GamePlayer::Ready));
    // Seeded by its number, so that the same game goes the same way again.
    seats_[id] = {number, standIn,
                  std::make_unique<ComputerPlayer>(skill_, static_cast<std::uint32_t>(number))};
    return id;
}

int ComputerSeats::seatIn(int slot, const QList<int>& connected) {
    return seat(slot, false, connected, -1);
}

int ComputerSeats::standIn(int slot, const GamePlayer& left, const QList<int>& connected,
                           int freedId) {
    const int id = seat(slot, true, connected, freedId);
    if (id >= 0) {
        GamePlayer& p = *sim_.player(slot);
        p.setStatus(GamePlayer::Playing);
        p.setColour(left.colour());
        p.setAutoColour(left.autoColour());
        joinGame(id);
        renewNeighbours();
    }
    return id;
}

int ComputerSeats::humansInGame() const {
    int humans = 0;
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        const GamePlayer* p = sim_.player(slot);
        humans += (p && p->isInGame() && !isSeat(p->connId())) ? 1 : 0;
    }
    return humans;
}

void ComputerSeats::unseat(int connId) {
    seats_.erase(connId);
    leaveQueue(connId);
    if (sim_.running()) {
        renewNeighbours();
    }
}

void ComputerSeats::leaveQueue(int connId) {
    std::erase_if(planQueue_, [connId](const Waiting& w) { return w.connId == connId; });
}

void ComputerSeats::startGame() {
    int part = 0;
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        const GamePlayer* p = sim_.player(slot);
        parts_[slot] = part;
        inRing_[slot] = p && p->isInGame();
        part += inRing_[slot] ? kColumnsPerPlayer : 0;
    }
    planQueue_.clear();
    for (const auto& [connId, seat] : seats_) {
        joinGame(connId);
    }
}

void ComputerSeats::joinGame(int connId) {
    const auto it = seats_.find(connId);
    const int slot = sim_.findPlayer(connId, 0);
    if (it != seats_.end() && slot >= 0) {
        it->second.player->setPart(sim_.fieldsizeX(), parts_.at(slot), kColumnsPerPlayer,
                                   neighboursOf(slot));
    }
}

ComputerPlayer::Neighbours ComputerSeats::neighboursOf(int slot) const {
    const auto beside = [&](int direction) {
        int s = slot;
        do {
            s = (s + direction + GameSimulation::kSlots) % GameSimulation::kSlots;
        } while (s != slot && !inRing_[std::size_t(s)]);
        return s;
    };
    // A person's part, or one nobody plays any more, gets the wider help.
    const auto needsHelp = [&](int s) {
        const GamePlayer* p = sim_.player(s);
        return s != slot && !(p && p->isInGame() && isSeat(p->connId()));
    };
    return {needsHelp(beside(-1)), needsHelp(beside(1))};
}

void ComputerSeats::renewNeighbours() {
    for (const auto& [connId, seat] : seats_) {
        const int slot = sim_.findPlayer(connId, 0);
        if (slot >= 0 && seat.player->neighbours() != neighboursOf(slot)) {
            joinGame(connId);
        }
    }
}

void ComputerSeats::play() {
    if (!sim_.running() || sim_.paused()) {
        return;
    }
    const qint64 now = clock_.nowMs();
    // Those waiting go first, in their order; then the others by id.
    std::vector<int> order;
    for (const Waiting& w : planQueue_) {
        order.push_back(w.connId);
    }
    for (const auto& [connId, seat] : seats_) {
        if (std::find(order.begin(), order.end(), connId) == order.end()) {
            order.push_back(connId);
        }
    }
    bool mayPlan = true;
    for (const int connId : order) {
        if (playSeat(connId, *seats_.at(connId).player, now, mayPlan)) {
            mayPlan = false;
        }
    }
}

bool ComputerSeats::playSeat(int connId, ComputerPlayer& player, qint64 now, bool mayPlan) {
    const GamePlayer* p = sim_.player(sim_.findPlayer(connId, 0));
    if (!p || !p->isInGame() || !p->currentBlock()) {
        leaveQueue(connId);
        return false;
    }
    const int decisions = player.decisions();
    std::vector<PlacementPlanner::Claim> claims;
    for (const auto& [id, seat] : seats_) {
        if (const auto c = seat.player->claim()) {
            claims.push_back(*c);
        }
    }
    player.setTeamClaims(std::move(claims));
    ComputerPlayer::Keys keys = drive_.think(player, sim_, *p, now, mayPlan);
    const auto queued = std::find_if(planQueue_.begin(), planQueue_.end(),
                                     [connId](const Waiting& w) { return w.connId == connId; });
    const qint64 askedMs = queued == planQueue_.end() ? now : queued->sinceMs;
    if (player.waitingToPlan() && waitCostsARow(player, now, sim_.speed(), askedMs)) {
        keys = drive_.think(player, sim_, *p, now, true);
    }
    if (!player.waitingToPlan()) {
        leaveQueue(connId);
    } else if (queued == planQueue_.end()) {
        planQueue_.push_back({connId, now});
    }
    ComputerDrive::press(sim_, *p, keys);
    return player.decisions() != decisions;
}

void ComputerSeats::newBlock(const GameBlock& block) {
    drive_.newBlock(block, sim_.fieldsizeX());
}

void ComputerSeats::blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) {
    drive_.blocksMoved(blocks, activeIds);
}

void ComputerSeats::blocksMerged(const QList<GameBlock*>& blocks) {
    drive_.blocksMerged(blocks);
}
