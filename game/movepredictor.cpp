#include "movepredictor.h"

#include <algorithm>
#include <cstdlib>

#include "gamegrid.h"

namespace {

// Enough windows to replay any burst a person can press in a round trip.
constexpr int kMostWindows = 64;

// The own block on the copy: what the server would land stays where it is,
// for the landing is the server's to say.
class OnCopy : public MovingBlock {
public:
    OnCopy(const FieldMirror& mirror, const GameBlock& block, BlockPlace from)
        : mirror_(mirror), block_(block), place_(from) {}
    int fieldsizeX() const override { return mirror_.fieldsizeX(); }
    BlockPlace place() const override { return place_; }
    bool moveTo(const BlockPlace& to) override {
        if (landed_) {
            return true;
        }
        const GameField::Fit fit = mirror_.fit(block_, to.x, to.y, to.rotation);
        if (fit == GameField::Fit::Free) {
            place_ = to;
        }
        landed_ = fit == GameField::Fit::Contact && to.y != place_.y;
        return fit == GameField::Fit::Contact;
    }
    GameField::DropPlace dropPlace(int x, int fromY, int rotation) const override {
        GameField::DropPlace d = mirror_.dropPlace(block_, x, fromY, rotation);
        if (mirror_.fit(block_, x, d.standY, rotation) != GameField::Fit::Free) {
            d.standY = place_.y;  // no free place below: it lands where it is
        }
        return d;
    }
    bool landed() const { return landed_; }

private:
    const FieldMirror& mirror_;
    const GameBlock& block_;
    BlockPlace place_;
    bool landed_ = false;
};

// Counters only grow within a game: one that went back is a new game's.
bool restarted(const KeyCounts& before, const KeyCounts& now) {
    for (int k = 0; k < kKeySlots; ++k) {
        if (now[std::size_t(k)] < before[std::size_t(k)]) {
            return true;
        }
    }
    return false;
}

BlockPlace placeOf(const GameBlock& b) {
    return {b.x(), b.y(), b.rotation()};
}

}  // namespace

MovePredictor::MovePredictor(FieldMirror& mirror) : mirror_(mirror) {}

MovePredictor::~MovePredictor() = default;

void MovePredictor::setEnabled(bool on) {
    if (on == enabled_) {
        return;
    }
    enabled_ = on;
    for (int local = 0; local < kLocalPlayers; ++local) {
        Own& own = own_[std::size_t(local)];
        own.shown = sent_[local];
        own.forgetUnconfirmed();
        if (!on) {
            own.drawn = own.server;
            if (mirror_.block(own.blockId) != nullptr && own.blockId > 0) {
                mirror_.moveTo(own.blockId, own.server.x, own.server.y, own.server.rotation);
            }
        }
    }
}

void MovePredictor::setRoundTripMs(int ms) {
    roundTripMs_ = std::max(0, ms);
}

void MovePredictor::setHeld(bool held) {
    if (held) {
        // What was shown stays where it is drawn until the server moves on.
        for (Own& own : own_) {
            own.forgetUnconfirmed();
        }
    }
    held_ = held;
}

void MovePredictor::reset() {
    // Whether the server says what it carried out is the server's way, not
    // the game's: the first press of a game is replayed too.
    sent_ = {};
    done_ = {};
    own_.fill(Own{});
}

bool MovePredictor::follow(int local) {
    Own& own = own_[std::size_t(local)];
    const int id = mirror_.activeBlockIds().value(local, -1);
    if (id == own.blockId) {
        return false;
    }
    own.blockId = id;
    if (const GameBlock* b = mirror_.block(id); b != nullptr && id > 0) {
        own.server = placeOf(*b);
        own.drawn = own.server;
    }
    return true;
}

bool MovePredictor::releasable(int local) const {
    const Own& own = own_[std::size_t(local)];
    for (int k = 0; k < kKeySlots; ++k) {
        const std::size_t i = std::size_t(k);
        if (own.shown[i] < sent_[local][i] && done_[local][i] >= own.heldBack[i]) {
            return true;
        }
    }
    return false;
}

void MovePredictor::processInput(const KeyInput& sent, qint64 nowMs) {
    for (int local = 0; local < kLocalPlayers; ++local) {
        Own& own = own_[std::size_t(local)];
        // A window that was due while nothing waited opens at the press.
        if (!releasable(local)) {
            own.nextWindowMs = std::max(own.nextWindowMs, nowMs);
        }
        if (!enabled_) {
            own.shown = sent[local];
        }
    }
    sent_ = sent;
    if (enabled_ && !held_) {
        for (int local = 0; local < kLocalPlayers; ++local) {
            follow(local);
            release(local, nowMs);
        }
    }
}

void MovePredictor::release(int local, qint64 nowMs) {
    Own& own = own_[std::size_t(local)];
    int released = nowMs - own.windowMs < kJoinMs ? take(local, own.windowMs) : 0;
    while (own.nextWindowMs <= nowMs && releasable(local)) {
        own.windowMs = own.nextWindowMs;
        own.windowKinds = 0;
        own.nextWindowMs += kInputDelayMs;
        released += take(local, own.windowMs);
    }
    if (released > 0) {
        const BlockPlace before = own.drawn;
        show(local, false);
        if (own.drawn != before) {
            figures_.moves += released;
        }
    }
}

int MovePredictor::take(int local, qint64 windowMs) {
    Own& own = own_[std::size_t(local)];
    int taken = 0;
    // One press of each kind a window, as the server takes them.
    for (int k = 0; k < kKeySlots; ++k) {
        const std::size_t i = std::size_t(k);
        const unsigned kind = 1u << k;
        if (own.shown[i] < sent_[local][i] && done_[local][i] >= own.heldBack[i] &&
            (own.windowKinds & kind) == 0) {
            ++own.shown[i];
            own.unconfirmed[i].push_back(windowMs);
            own.windowKinds |= kind;
            ++taken;
        }
    }
    return taken;
}

void MovePredictor::processMovements(const QList<GameMovement>& movements,
                                     const QList<int>& keysDone, qint64 nowMs) {
    acknowledged_ = acknowledged_ || !keysDone.isEmpty();
    // Left out: unchanged (or never said, and then guessed as before).
    const KeyInput done = keysDone.isEmpty() ? done_ : KeyInput::fromList(keysDone);
    if (!enabled_) {
        done_ = done;
        return;
    }
    for (int local = 0; local < kLocalPlayers; ++local) {
        bool fresh = follow(local);
        Own& own = own_[std::size_t(local)];
        if (acknowledged_ && restarted(done_[local], done[local])) {
            // The server started a new game before this client did: what was
            // pressed in the last one is not replayed on the new blocks.
            own.waitForServer(done[local], sent_[local]);
            done_[local] = done[local];
            fresh = true;
        }
        const bool carriedOut = done[local] != done_[local];
        const bool caughtUp = acknowledged_ && confirm(local, done[local], nowMs);
        if (own.blockId <= 0) {
            continue;
        }
        const BlockPlace lastServer = own.server;
        for (const GameMovement& m : movements) {
            if (mirror_.block(m.id) == nullptr) {
                break;  // the copy dropped the rest of the batch: so does the prediction
            }
            if (m.id == own.blockId) {
                own.server = {m.x, m.y, m.rotation};
            }
        }
        done_[local] = done[local];
        if (acknowledged_ && !fresh && !carriedOut && own.server.x == lastServer.x &&
            own.server.rotation == lastServer.rotation) {
            // Nothing new carried out: what was shown stands, falling with the
            // server's block, and another block that moved on the copy since
            // does not flip a shown press back and forth.
            if (own.unconfirmed[slotIndex(KeySlot::Drop)].empty()) {
                own.drawn.y += own.server.y - lastServer.y;
            }
            draw(local);
            continue;
        }
        // A correction takes back what was shown ahead of the server: where
        // the copy showed the server's own place (nothing pressed, or a
        // press it refused) the server's move is none. Nor is a press the
        // server carried out before the copy let it out, nor a new block.
        const bool ahead = own.drawn.x != lastServer.x ||
                           own.drawn.rotation != lastServer.rotation ||
                           GameGrid::rowFloor(own.drawn.y) < GameGrid::rowFloor(lastServer.y);
        show(local, ahead && !caughtUp && !fresh);
    }
    done_ = done;
}

bool MovePredictor::confirm(int local, const KeyCounts& done, qint64 nowMs) {
    Own& own = own_[std::size_t(local)];
    bool caughtUp = false;
    for (int k = 0; k < kKeySlots; ++k) {
        const std::size_t i = std::size_t(k);
        std::deque<qint64>& waiting = own.unconfirmed[i];
        for (int n = done[i] - done_[local][i]; n > 0 && !waiting.empty(); --n) {
            const qint64 echo = nowMs - waiting.front();
            slowEchoMs_ = echo >= slowEchoMs_ ? echo : slowEchoMs_ - (slowEchoMs_ - echo) / 16;
            waiting.pop_front();
        }
        if (done[i] > own.shown[i]) {
            own.shown[i] = done[i];
            waiting.clear();
            caughtUp = true;
        }
    }
    return caughtUp;
}

void MovePredictor::processMerges() {
    if (!enabled_) {
        return;
    }
    for (Own& own : own_) {
        const GameBlock* b = own.blockId > 0 ? mirror_.block(own.blockId) : nullptr;
        if (b == nullptr) {
            continue;  // landed: the next block comes with the next movements
        }
        // A removed row below lowered the drawn block, and the server's with it.
        const int dy = b->y() - own.drawn.y;
        own.server.y += dy;
        own.drawn.y += dy;
    }
}

bool MovePredictor::busy() const {
    if (!enabled_ || held_) {
        return false;
    }
    for (int local = 0; local < kLocalPlayers; ++local) {
        const Own& own = own_[std::size_t(local)];
        if (releasable(local) || std::any_of(own.unconfirmed.begin(), own.unconfirmed.end(),
                                             [](const auto& d) { return !d.empty(); })) {
            return true;
        }
    }
    return false;
}

void MovePredictor::advance(qint64 nowMs) {
    if (!enabled_ || held_) {
        return;
    }
    for (int local = 0; local < kLocalPlayers; ++local) {
        follow(local);
        release(local, nowMs);
        giveUpLate(local, nowMs);
    }
}

void MovePredictor::giveUpLate(int local, qint64 nowMs) {
    Own& own = own_[std::size_t(local)];
    const qint64 shownBefore = nowMs - allowanceMs();
    if (std::none_of(own.unconfirmed.begin(), own.unconfirmed.end(),
                     [&](const auto& d) { return !d.empty() && d.front() < shownBefore; })) {
        return;
    }
    own.waitForServer(done_[local], sent_[local]);  // given up
    show(local, true);
}

void MovePredictor::show(int local, bool misprediction) {
    Own& own = own_[std::size_t(local)];
    const GameBlock* b = mirror_.block(own.blockId);
    if (own.blockId <= 0 || b == nullptr || !FieldMirror::onField(*b)) {
        return;
    }
    const BlockPlace before = own.drawn;
    own.drawn = acknowledged_ ? replayed(local, *b) : own.server;
    // Gravity lowers the block anyway: a correction is a turn, a step or a
    // rise by a row.
    if (misprediction && acknowledged_ &&
        (own.drawn.x != before.x || own.drawn.rotation != before.rotation ||
         GameGrid::rowFloor(own.drawn.y) > GameGrid::rowFloor(before.y))) {
        ++figures_.mispredictions;
        figures_.jumps.push_back(distance(before, own.drawn));
    }
    draw(local);
}

void MovePredictor::draw(int local) {
    const Own& own = own_[std::size_t(local)];
    const GameBlock* b = mirror_.block(own.blockId);
    if (own.blockId > 0 && b != nullptr && FieldMirror::onField(*b) && placeOf(*b) != own.drawn) {
        mirror_.moveTo(own.blockId, own.drawn.x, own.drawn.y, own.drawn.rotation);
    }
}

BlockPlace MovePredictor::replayed(int local, const GameBlock& block) const {
    const Own& own = own_[std::size_t(local)];
    OnCopy copy(mirror_, block, own.server);
    KeyProgress keys;
    keys.done = done_[local];
    KeyCounts pressed = keys.done;
    const auto window = [&] {
        keys.inputDelay = 0;
        stepKeys(copy, pressed, keys, 0, GameSimulation::kInputDelayTicks);
    };
    // Until nothing more is carried out: a step the stack refuses waits.
    const auto settle = [&] {
        for (int n = 0; n < kMostWindows && !copy.landed(); ++n) {
            const KeyCounts before = keys.done;
            window();
            if (keys.done == before) {
                break;
            }
        }
    };
    // Presses shown without a window of their own (while prediction was off)
    // come first, then each window as it was let out: the server's step
    // without gravity, on the server's last place.
    KeyCounts base = keys.done;
    std::vector<qint64> windows;
    for (int k = 0; k < kKeySlots; ++k) {
        const std::size_t i = std::size_t(k);
        const std::deque<qint64>& waiting = own.unconfirmed[i];
        base[i] = std::max(base[i], own.shown[i] - int(waiting.size()));
        windows.insert(windows.end(), waiting.begin(), waiting.end());
    }
    pressed = base;
    settle();
    std::sort(windows.begin(), windows.end());
    windows.erase(std::unique(windows.begin(), windows.end()), windows.end());
    for (qint64 at : windows) {
        for (int k = 0; k < kKeySlots; ++k) {
            const std::deque<qint64>& waiting = own.unconfirmed[std::size_t(k)];
            pressed[std::size_t(k)] =
                base[std::size_t(k)] + int(std::count_if(waiting.begin(), waiting.end(),
                                                         [at](qint64 t) { return t <= at; }));
        }
        if (!copy.landed()) {
            window();
        }
    }
    settle();
    return copy.place();
}

qint64 MovePredictor::allowanceMs() const {
    return std::max<qint64>(roundTripMs_, slowEchoMs_) + kSlackMs;
}

int MovePredictor::distance(const BlockPlace& a, const BlockPlace& b) const {
    const int w = mirror_.fieldsizeX();
    const int dc = std::abs(GameGrid::column(w, a.x) - GameGrid::column(w, b.x));
    const int cells =
        std::min(dc, w - dc) + std::abs(GameGrid::rowFloor(a.y) - GameGrid::rowFloor(b.y));
    // A turn in place still moves boxes.
    return cells == 0 && a.rotation != b.rotation ? 1 : cells;
}
