#include "computerplayer.h"

#include <algorithm>

#include "fieldmirror.h"
#include "gamegrid.h"
#include "gamesimulation.h"

namespace {

int ticksFor(qint64 ms) {
    return static_cast<int>((std::max<qint64>(ms, 0) + ComputerPlayer::kTickMs - 1) /
                            ComputerPlayer::kTickMs);
}

// Changes whenever a box lands or a row goes in the columns that matter.
std::uint64_t signatureOf(const FieldBoard& board, std::uint64_t columns) {
    std::uint64_t h = 1469598103934665603ULL;
    for (int row = 0; row < FieldBoard::kRows; ++row) {
        h = (h ^ (board.landedRow(row) & columns)) * 1099511628211ULL;
    }
    return h;
}

}  // namespace

ComputerPlayer::ComputerPlayer(ComputerSkill skill, std::uint32_t seed,
                               const BoardEvaluation::Weights& weights)
    : skill_(skill), profile_(skillProfile(skill)), random_(seed), planner_(weights) {}

void ComputerPlayer::setPart(int fieldsizeX, int firstColumn, int columns, Neighbours neighbours) {
    first_ = firstColumn;
    columns_ = columns;
    neighbours_ = neighbours;
    setPlannerPart(fieldsizeX);
    reset();
    anyPress_ = false;
}

void ComputerPlayer::setPlannerPart(int fieldsizeX) {
    const auto reach = [](bool person) {
        return person ? PlacementPlanner::kPersonColumns : PlacementPlanner::kNeighbourColumns;
    };
    planner_.setPart(fieldsizeX, first_, columns_, reach(neighbours_.leftPerson),
                     reach(neighbours_.rightPerson));
}

qint64 ComputerPlayer::readyAt() const {
    // The last press of the previous piece (its drop) holds up the server's
    // next one as much as any other.
    const qint64 reacted = pieceSeenMs_ + profile_.reactionMs;
    return anyPress_ ? std::max(reacted, lastPressMs_ + profile_.pressIntervalMs) : reacted;
}

void ComputerPlayer::reset() {
    pieceId_ = -1;
    planned_ = false;
    hasTarget_ = false;
    pressPending_ = false;
    dropped_ = false;
    arrivedMs_ = -1;
}

PlacementPlanner::Situation ComputerPlayer::situation(const FieldMirror& mirror,
                                                      const GameBlock& block, int speed,
                                                      qint64 nowMs) const {
    PlacementPlanner::Situation s;
    s.piece = {block.kind(), block.rotation(), GameGrid::column(mirror.fieldsizeX(), block.x()),
               block.y()};
    s.timing.speed = std::clamp(speed, 1, GameSimulation::kMaxSpeed);
    s.timing.firstPressTicks = ticksFor(readyAt() - nowMs);
    s.timing.intervalTicks = std::max(kServerPressTicks, ticksFor(profile_.pressIntervalMs));
    s.timing.combineKeys = profile_.combineKeys;
    // A claim whose piece has landed is in the stack already, and the claim
    // of its own piece is its plan.
    for (const PlacementPlanner::Claim& c : claims_) {
        const GameBlock* other = mirror.block(c.blockId);
        if (c.blockId != block.id() && other != nullptr && FieldMirror::onField(*other)) {
            s.claims.push_back(c);
        }
    }
    // The next piece waits at a park position in the player's colour; blocks
    // of players who left lie further out.
    mirror.forEachBlock([&s, &block](const GameBlock& b) {
        if (GameSimulation::parkedSlot(b.x(), b.y()) >= 0 && b.colour() == block.colour() &&
            b.kind() >= 0 && b.id() > block.id()) {
            s.nextKind = b.kind();
            s.nextRotation = b.rotation();
        }
    });
    return s;
}

void ComputerPlayer::plan(const FieldBoard& board, const PlacementPlanner::Situation& s) {
    ++decisions_;
    planned_ = true;
    const std::vector<PlacementPlanner::Choice> ranked =
        planner_.rank(board, s, profile_.lookahead);
    hasTarget_ = !ranked.empty();
    if (hasTarget_) {
        target_ =
            ranked[std::min<std::size_t>(static_cast<std::size_t>(pickRank_), ranked.size() - 1)];
    }
    stackSignature_ = signatureOf(board, planner_.window());
    arrivedMs_ = -1;
}

std::optional<PlacementPlanner::Claim> ComputerPlayer::claim() const {
    if (!hasTarget_ || pieceId_ <= 0) {
        return std::nullopt;
    }
    return PlacementPlanner::Claim{pieceId_, pieceKind_, target_.rotation, target_.column};
}

bool ComputerPlayer::blockNearTarget(const FieldBoard& board, int kind, int toRow) const {
    const int fromRow = target_.landingRow + planner_.masks().lowDy(kind, target_.rotation);
    const std::uint64_t columns = planner_.masks().columns(kind, target_.rotation, target_.column);
    std::uint64_t near = columns;
    for (int i = 1; i <= kBlockReachColumns; ++i) {
        near |= board.rotate(columns, i) | board.rotate(columns, board.width() - i);
    }
    for (int row = std::max(0, fromRow); row <= std::min(toRow, FieldBoard::kRows - 1); ++row) {
        if ((board.otherRow(row) & near) != 0) {
            return true;
        }
    }
    return false;
}

bool ComputerPlayer::aheadOfTeam(const FieldBoard& board) const {
    return board.boxesPerColumn(planner_.evaluation().partMask()) >
           board.boxesPerColumn(board.fullMask()) + kAheadRows;
}

void ComputerPlayer::startPiece(const GameBlock& block, qint64 nowMs) {
    reset();
    pieceId_ = block.id();
    pieceKind_ = block.kind();
    pieceSeenMs_ = nowMs;
    pickRank_ = 0;
    if (profile_.weakerPercent > 0 && random_.next() % 100 < profile_.weakerPercent) {
        pickRank_ = 1 + random_.next() % 3;
    }
}

bool ComputerPlayer::awaitingServer(const Counters& counters, qint64 nowMs) {
    if (!pressPending_) {
        return false;
    }
    bool carriedOut = true;
    for (int k = 0; k < kKeySlots; ++k) {
        carriedOut = carriedOut && counters.done[std::size_t(k)] >= pressedTo_[std::size_t(k)];
    }
    if (!carriedOut && nowMs - lastPressMs_ < kEchoTimeoutMs) {
        return true;
    }
    pressPending_ = false;  // carried out (or lost): look again from where it stands
    return false;
}

int ComputerPlayer::findTarget(MoveSearch& search, const FieldBoard& board,
                               const PlacementPlanner::Situation& s, qint64 nowMs, bool mayPlan) {
    bool plannedNow = false;
    if (!hasTarget_ || signatureOf(board, planner_.window()) != stackSignature_) {
        if (!mayPlan) {
            waiting_ = true;
            return -1;
        }
        plan(board, s);
        plannedNow = true;
    }
    if (nowMs < readyAt() || !hasTarget_) {
        return -1;
    }
    search.explore(s.piece, s.timing);
    const int node = search.find(target_.rotation, target_.column);
    if (node >= 0 && search.nodes()[static_cast<std::size_t>(node)].canLand) {
        return node;
    }
    if (!mayPlan && !plannedNow) {
        waiting_ = true;
        return -1;
    }
    plan(board, s);  // the way is closed: another block moved into it
    if (!hasTarget_) {
        return -1;
    }
    search.explore(s.piece, s.timing);
    return search.find(target_.rotation, target_.column);
}

ComputerPlayer::Keys ComputerPlayer::dropWhenClear(const FieldBoard& board, const GameBlock& block,
                                                   qint64 nowMs) {
    Keys keys{};
    if (arrivedMs_ < 0) {
        arrivedMs_ = nowMs;
    }
    // A block below may step or turn under the piece first in the same
    // tick, and a drop onto it leaves a hole: the piece falls on by itself
    // until the way down is clear. Blocks beside or above it wait for it.
    const int bottom =
        GameGrid::rowFloor(block.y()) + planner_.masks().lowDy(block.kind(), block.rotation());
    const qint64 wait = aheadOfTeam(board) ? std::max<qint64>(profile_.dropDelayMs, kAheadWaitMs)
                                           : profile_.dropDelayMs;
    if (nowMs - arrivedMs_ >= wait && !blockNearTarget(board, block.kind(), bottom - 1)) {
        keys[slotIndex(KeySlot::Drop)] = 1;
        dropped_ = true;
        anyPress_ = true;
        lastPressMs_ = nowMs;
    }
    return keys;
}

ComputerPlayer::Keys ComputerPlayer::pressToward(const MoveSearch& search, int node,
                                                 const FieldBoard& board, const GameBlock& block,
                                                 const Counters& counters, qint64 nowMs) {
    Keys keys{};
    const MoveSearch::Move move = search.firstMove(node);
    keys[slotIndex(KeySlot::Rotate)] = move.rotate ? 1 : 0;
    keys[slotIndex(KeySlot::Right)] = move.step > 0 ? 1 : 0;
    keys[slotIndex(KeySlot::Left)] = move.step < 0 ? 1 : 0;
    // The server carries out a drop after the turn and step of the same tick:
    // a quick hand drops with the last step and saves a whole press interval.
    // Not when another block is near the way: it may take the cells first and
    // the drop would go down where the piece was refused. Not ahead of the
    // team either: then the piece waits where it arrives.
    const int top =
        GameGrid::rowFloor(block.y()) + planner_.masks().highDy(block.kind(), block.rotation());
    if (profile_.combineKeys && profile_.dropDelayMs == 0 &&
        search.nodes()[static_cast<std::size_t>(node)].parent == 0 && !aheadOfTeam(board) &&
        !blockNearTarget(board, block.kind(), top)) {
        keys[slotIndex(KeySlot::Drop)] = 1;
        dropped_ = true;
    }
    for (int k = 0; k < kKeySlots; ++k) {
        pressedTo_[std::size_t(k)] = counters.sent[std::size_t(k)] + keys[std::size_t(k)];
    }
    pressPending_ = true;
    anyPress_ = true;
    lastPressMs_ = nowMs;
    return keys;
}

ComputerPlayer::Keys ComputerPlayer::think(const FieldMirror& mirror, int blockId, int speed,
                                           qint64 nowMs, const Counters& counters, bool mayPlan) {
    waiting_ = false;
    const GameBlock* block = mirror.block(blockId);
    if (blockId <= 0 || block == nullptr || !mirror.hasField() || !FieldMirror::onField(*block) ||
        block->kind() < 0) {
        return {};
    }
    if (planner_.masks().width() != mirror.fieldsizeX()) {
        setPlannerPart(mirror.fieldsizeX());
    }
    if (blockId != pieceId_) {
        startPiece(*block, nowMs);
    }
    // After a drop the landing is on its way. A new piece is planned as soon
    // as it may be; later the plan is looked at again only when a press is due.
    if (dropped_ || awaitingServer(counters, nowMs) || (nowMs < readyAt() && planned_)) {
        return {};
    }
    const FieldBoard board = FieldBoard::fromMirror(mirror, blockId);
    const PlacementPlanner::Situation s = situation(mirror, *block, speed, nowMs);
    MoveSearch search(planner_.masks(), board);
    const int node = findTarget(search, board, s, nowMs, mayPlan);
    if (node < 0) {
        return {};
    }
    return node == 0 ? dropWhenClear(board, *block, nowMs)
                     : pressToward(search, node, board, *block, counters, nowMs);
}
