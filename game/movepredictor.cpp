#include "movepredictor.h"

#include <algorithm>
#include <cstdlib>

#include "gamegrid.h"

namespace {

constexpr int kCell = GameGrid::kCell;
// A drawn block that the copy's stack has grown into is lifted by at most this
// many rows; further means the prediction is lost.
constexpr int kMostLift = 4;

}  // namespace

MovePredictor::MovePredictor(FieldMirror& mirror) : mirror_(mirror) {}

MovePredictor::~MovePredictor() = default;

void MovePredictor::setEnabled(bool on) {
    if (on == enabled_) {
        return;
    }
    if (!on) {
        for (Own& own : own_) {
            forget(own);
            show(own);
            own = Own{};
        }
    }
    enabled_ = on;
}

void MovePredictor::setRoundTripMs(int ms) {
    roundTripMs_ = std::max(0, ms);
}

void MovePredictor::setHeld(bool held) {
    held_ = held;
    if (held) {
        for (Own& own : own_) {
            const Place drawn = own.drawn;
            forget(own);
            own.pressed.fill(0);
            own.server = drawn;
            own.baseX = drawn.x;
            own.baseRotation = drawn.rotation;
        }
    }
}

void MovePredictor::reset() {
    counters_.clear();
    own_.fill(Own{});
}

void MovePredictor::follow(int local) {
    Own& own = own_[std::size_t(local)];
    const int id = mirror_.activeBlockIds().value(local, -1);
    if (id == own.blockId) {
        return;
    }
    own = Own{};
    own.blockId = id;
    if (const GameBlock* b = mirror_.block(id); b != nullptr && id > 0) {
        own.server = {b->x(), b->y(), b->rotation()};
        own.drawn = own.server;
        own.baseX = b->x();
        own.baseRotation = b->rotation();
    }
}

void MovePredictor::processInput(const QList<int>& counters, qint64 nowMs) {
    if (enabled_ && !held_) {
        for (int local = 0; local < kLocalPlayers; ++local) {
            follow(local);
            Own& own = own_[std::size_t(local)];
            // A window that was due while nothing waited opens at the press.
            if (std::all_of(own.pressed.begin(), own.pressed.end(), [](int n) { return n == 0; })) {
                own.nextWindowMs = std::max(own.nextWindowMs, nowMs);
            }
            bool pressed = false;
            for (int k = 0; k < kKeySlots; ++k) {
                const int i = local * kKeySlots + k;
                const int n = counters.value(i) - counters_.value(i);
                if (n > 0 && own.blockId > 0) {
                    own.pressed[std::size_t(k)] += n;
                    pressed = true;
                }
            }
            if (pressed) {
                carryOut(own, nowMs);
            }
        }
    }
    counters_ = counters;
}

void MovePredictor::carryOut(Own& own, qint64 nowMs) {
    const GameBlock* b = mirror_.block(own.blockId);
    // After a drop the server lands the block and forgets what else was
    // pressed; until the next block comes nothing more is moved.
    if (own.blockId <= 0 || b == nullptr || !FieldMirror::onField(*b) || own.dropped) {
        own.pressed.fill(0);
        return;
    }
    bool moved = nowMs - own.windowMs < kJoinMs && take(own, own.windowMs);
    while (own.nextWindowMs <= nowMs &&
           std::any_of(own.pressed.begin(), own.pressed.end(), [](int n) { return n > 0; })) {
        own.windowMs = own.nextWindowMs;
        own.windowKinds = 0;
        own.nextWindowMs += kInputDelayMs;
        moved = take(own, own.windowMs) || moved;
    }
    if (moved) {
        show(own);
    }
}

bool MovePredictor::take(Own& own, qint64 windowMs) {
    bool moved = false;
    // One press of each kind, in the order the server takes them.
    for (int k = 0; k < kKeySlots && !own.dropped; ++k) {
        const unsigned kind = 1u << k;
        if (own.pressed[std::size_t(k)] > 0 && (own.windowKinds & kind) == 0) {
            --own.pressed[std::size_t(k)];
            own.windowKinds |= kind;
            moved = move(own, slotOf(k), windowMs) || moved;
        }
    }
    if (own.dropped) {
        own.pressed.fill(0);
    }
    return moved;
}

bool MovePredictor::move(Own& own, KeySlot key, qint64 shownMs) {
    const GameBlock& b = *mirror_.block(own.blockId);
    const Place at = predicted(own, b);
    const auto free = [&](int x, int y, int r) {
        return mirror_.fit(b, x, y, r) == GameField::Fit::Free;
    };
    switch (key) {
        case KeySlot::Rotate:
            if (!free(at.x, at.y, (at.rotation + 1) % 4)) {
                return false;  // the server refuses it too, and the turn is lost
            }
            own.turns.push_back(shownMs);
            break;
        case KeySlot::Right:
        case KeySlot::Left: {
            const bool right = key == KeySlot::Right;
            const int x = GameGrid::wrapped(mirror_.fieldsizeX(), at.x + (right ? kCell : -kCell));
            if (!free(x, at.y, at.rotation)) {
                return false;
            }
            (right ? own.rights : own.lefts).push_back(shownMs);
            break;
        }
        case KeySlot::Down:
            // A fall onto the stack lands the block: that is the server's to say.
            if (!free(at.x, at.y - kCell, at.rotation)) {
                return false;
            }
            own.downs.push_back({at.y - kCell, shownMs});
            break;
        case KeySlot::Drop:
            // Gravity moves the block at least a unit in the tick that drops it.
            own.dropY = mirror_.dropPlace(b, at.x, at.y - 1, at.rotation).standY;
            own.dropped = true;
            own.dropShownMs = shownMs;
            break;
    }
    ++figures_.moves;
    own.drawn = predicted(own, b);
    return true;
}

void MovePredictor::processMovements(const QList<GameMovement>& movements, qint64 nowMs) {
    if (!enabled_) {
        return;
    }
    for (int local = 0; local < kLocalPlayers; ++local) {
        follow(local);
        Own& own = own_[std::size_t(local)];
        if (own.blockId <= 0) {
            continue;
        }
        for (const GameMovement& m : movements) {
            if (mirror_.block(m.id) == nullptr) {
                break;  // the copy dropped the rest of the batch: so does the prediction
            }
            if (m.id == own.blockId) {
                reconcile(own, m, nowMs);
            }
        }
        show(own);
    }
}

void MovePredictor::reconcile(Own& own, const GameMovement& m, qint64 nowMs) {
    own.server = {m.x, m.y, m.rotation};
    while (!own.downs.empty() && own.downs.front().y >= m.y) {
        confirmed(own.downs.front().shownMs, nowMs);
        own.downs.pop_front();
    }
    const int w = mirror_.fieldsizeX();
    const int turns = ((m.rotation - own.baseRotation) % 4 + 4) % 4;
    const int right = w > 0 ? GameGrid::column(w, m.x - own.baseX) : 0;
    const int left = right == 0 ? 0 : w - right;
    if (turns == 0 && right == 0) {
        return;  // nothing of what waits is carried out yet
    }
    const auto pressed = [&](KeySlot k) { return own.pressed[slotIndex(k)]; };
    const int canTurn = int(own.turns.size()) + pressed(KeySlot::Rotate);
    const int canRight = int(own.rights.size()) + pressed(KeySlot::Right);
    const int canLeft = int(own.lefts.size()) + pressed(KeySlot::Left);
    // The fewest waiting moves that lead there: a step right and one left
    // taken in one tick show nothing, and stay until their deadline.
    const int rights = right <= canRight ? right : 0;
    const int lefts = right <= canRight ? 0 : left;
    if (canTurn + canRight + canLeft > 0 && (turns > canTurn || lefts > canLeft)) {
        mispredicted(own);
        return;
    }
    // The server took presses in a window the copy has not opened yet (they
    // reached it within one tick): they are carried out now, as it did.
    const auto catchUp = [&](KeySlot k, const std::deque<qint64>& done, int n) {
        while (int(done.size()) < n && own.pressed[slotIndex(k)] > 0) {
            --own.pressed[slotIndex(k)];
            if (!move(own, k, nowMs)) {
                break;
            }
        }
    };
    catchUp(KeySlot::Rotate, own.turns, turns);
    catchUp(KeySlot::Right, own.rights, rights);
    catchUp(KeySlot::Left, own.lefts, lefts);
    // With nothing waiting the block follows the server wherever it goes.
    const auto confirm = [&](std::deque<qint64>& d, int n) {
        for (; n > 0 && !d.empty(); --n) {
            confirmed(d.front(), nowMs);
            d.pop_front();
        }
    };
    confirm(own.turns, turns);
    confirm(own.rights, rights);
    confirm(own.lefts, lefts);
    own.baseX = m.x;
    own.baseRotation = m.rotation;
}

void MovePredictor::processMerges() {
    if (!enabled_) {
        return;
    }
    for (Own& own : own_) {
        if (own.blockId <= 0) {
            continue;
        }
        const GameBlock* b = mirror_.block(own.blockId);
        if (b == nullptr) {
            forget(own);  // landed: the server took the drop or the fall
            own.pressed.fill(0);
            continue;
        }
        // A removed row below lowered the drawn block, and the server's with it.
        const int dy = b->y() - own.drawn.y;
        if (dy != 0) {
            own.server.y += dy;
            own.drawn.y += dy;
            own.dropY += dy;
            for (Down& d : own.downs) {
                d.y += dy;
            }
        }
    }
}

bool MovePredictor::busy() const {
    if (!enabled_) {
        return false;
    }
    return std::any_of(own_.begin(), own_.end(), [](const Own& own) {
        return own.waiting() ||
               std::any_of(own.pressed.begin(), own.pressed.end(), [](int n) { return n > 0; });
    });
}

void MovePredictor::advance(qint64 nowMs) {
    if (!enabled_) {
        return;
    }
    for (Own& own : own_) {
        carryOut(own, nowMs);
        const qint64 shownBefore = nowMs - allowanceMs();
        const auto late = [&](const std::deque<qint64>& d) {
            return !d.empty() && d.front() < shownBefore;
        };
        if (!late(own.turns) && !late(own.rights) && !late(own.lefts) &&
            !(own.dropped && own.dropShownMs < shownBefore) &&
            !(!own.downs.empty() && own.downs.front().shownMs < shownBefore)) {
            continue;
        }
        if (own.drawn == own.server) {
            forget(own);  // the echo never came, but the place is right
        } else {
            mispredicted(own);
        }
        show(own);
    }
}

void MovePredictor::confirmed(qint64 shownMs, qint64 nowMs) {
    const qint64 echo = nowMs - shownMs;
    slowEchoMs_ = echo >= slowEchoMs_ ? echo : slowEchoMs_ - (slowEchoMs_ - echo) / 16;
}

qint64 MovePredictor::allowanceMs() const {
    return std::max<qint64>(roundTripMs_, slowEchoMs_) + kSlackMs;
}

void MovePredictor::mispredicted(Own& own) {
    const Place from = own.drawn;
    forget(own);
    ++figures_.mispredictions;
    figures_.jumps.push_back(distance(from, own.server));
}

void MovePredictor::forget(Own& own) {
    own.turns.clear();
    own.rights.clear();
    own.lefts.clear();
    own.downs.clear();
    own.dropped = false;
    own.baseX = own.server.x;
    own.baseRotation = own.server.rotation;
}

MovePredictor::Place MovePredictor::predicted(const Own& own, const GameBlock& block) const {
    if (!own.waiting()) {
        return own.server;
    }
    Place p = own.server;
    const int steps = int(own.rights.size()) - int(own.lefts.size());
    p.x = GameGrid::column(mirror_.fieldsizeX(), own.baseX + steps * kCell) * kCell;
    p.rotation = (own.baseRotation + int(own.turns.size())) % 4;
    if (own.dropped) {
        p.y = own.dropY;
        return p;
    }
    if (!own.downs.empty()) {
        p.y = std::min(p.y, own.downs.back().y);
    }
    // The server's fall may have brought the block to where the stack stands
    // at the predicted column: there it would have landed a little higher.
    for (int lift = 0; mirror_.fit(block, p.x, p.y, p.rotation) == GameField::Fit::Contact;
         ++lift) {
        if (lift == kMostLift) {
            return own.server;
        }
        p.y += kCell;
    }
    return p;
}

void MovePredictor::show(Own& own) {
    const GameBlock* b = mirror_.block(own.blockId);
    if (own.blockId <= 0 || b == nullptr || !FieldMirror::onField(*b)) {
        return;
    }
    own.drawn = predicted(own, *b);
    if (Place{b->x(), b->y(), b->rotation()} != own.drawn) {
        mirror_.moveTo(own.blockId, own.drawn.x, own.drawn.y, own.drawn.rotation);
    }
}

int MovePredictor::distance(const Place& a, const Place& b) const {
    const int w = mirror_.fieldsizeX();
    const int dc = std::abs(GameGrid::column(w, a.x) - GameGrid::column(w, b.x));
    const int cells =
        std::min(dc, w - dc) + std::abs(GameGrid::rowFloor(a.y) - GameGrid::rowFloor(b.y));
    // A turn in place still moves boxes.
    return cells == 0 && a.rotation != b.rotation ? 1 : cells;
}
