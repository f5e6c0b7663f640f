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
    if (enabled_) {
        // The server takes the kinds of one tick in this order.
        for (int local = 0; local < kLocalPlayers; ++local) {
            for (int k = 0; k < kKeySlots; ++k) {
                const int i = local * kKeySlots + k;
                for (int n = counters.value(i) - counters_.value(i); n > 0; --n) {
                    follow(local);
                    press(local, slotOf(k), nowMs);
                }
            }
        }
    }
    counters_ = counters;
}

qint64 MovePredictor::deadline(const Own& own, qint64 nowMs) const {
    const qint64 queued = qint64(own.shifts.size() + own.downs.size());
    return nowMs + roundTripMs_ + kSlackMs + kPerQueuedMs * queued;
}

void MovePredictor::press(int local, KeySlot key, qint64 nowMs) {
    Own& own = own_[std::size_t(local)];
    const GameBlock* b = mirror_.block(own.blockId);
    // After a drop the server lands the block: presses that follow belong to
    // the next one, which is not here yet.
    if (own.blockId <= 0 || b == nullptr || !FieldMirror::onField(*b) || own.dropped) {
        return;
    }
    const int x = b->x();
    const int y = b->y();
    const int r = b->rotation();
    const qint64 due = deadline(own, nowMs);
    const auto free = [&](int nx, int ny, int nr) {
        return mirror_.fit(*b, nx, ny, nr) == GameField::Fit::Free;
    };
    switch (key) {
        case KeySlot::Rotate:
            if (!free(x, y, (r + 1) % 4)) {
                return;  // the server refuses it too, and the turn is lost
            }
            own.shifts.push_back({x, (r + 1) % 4, due});
            break;
        case KeySlot::Right:
        case KeySlot::Left: {
            const int nx = GameGrid::wrapped(mirror_.fieldsizeX(),
                                             x + (key == KeySlot::Right ? kCell : -kCell));
            if (!free(nx, y, r)) {
                return;
            }
            own.shifts.push_back({nx, r, due});
            break;
        }
        case KeySlot::Down:
            // A fall onto the stack lands the block: that is the server's to say.
            if (!free(x, y - kCell, r)) {
                return;
            }
            own.downs.push_back({y - kCell, due});
            break;
        case KeySlot::Drop:
            // Gravity moves the block at least a unit in the tick that drops it.
            own.dropY = mirror_.dropPlace(*b, x, y - 1, r).standY;
            own.dropped = true;
            own.dropDeadline = due;
            break;
    }
    ++figures_.moves;
    show(own);
}

void MovePredictor::processMovements(const QList<GameMovement>& movements) {
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
            if (m.id == own.blockId) {
                reconcile(own, m);
            }
        }
        show(own);
    }
}

void MovePredictor::reconcile(Own& own, const GameMovement& m) {
    own.server = {m.x, m.y, m.rotation};
    const bool atBase = m.x == own.baseX && m.rotation == own.baseRotation;
    if (!atBase) {
        const auto shown = std::find_if(own.shifts.begin(), own.shifts.end(), [&](const Shift& s) {
            return s.x == m.x && s.rotation == m.rotation;
        });
        if (shown == own.shifts.end() && !own.shifts.empty()) {
            mispredicted(own);
            return;
        }
        // With nothing queued the block follows the server wherever it goes.
        own.shifts.erase(own.shifts.begin(), shown == own.shifts.end() ? shown : std::next(shown));
        own.baseX = m.x;
        own.baseRotation = m.rotation;
    }
    while (!own.downs.empty() && own.downs.front().y >= m.y) {
        own.downs.pop_front();
    }
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

void MovePredictor::expire(qint64 nowMs) {
    if (!enabled_) {
        return;
    }
    for (Own& own : own_) {
        const bool late = (!own.shifts.empty() && own.shifts.front().deadline < nowMs) ||
                          (!own.downs.empty() && own.downs.front().deadline < nowMs) ||
                          (own.dropped && own.dropDeadline < nowMs);
        if (!late) {
            continue;
        }
        const Place& d = own.drawn;
        const Place& s = own.server;
        if (d.x == s.x && d.y == s.y && d.rotation == s.rotation) {
            forget(own);  // the echo never came, but the place is right
        } else {
            mispredicted(own);
        }
        show(own);
    }
}

void MovePredictor::mispredicted(Own& own) {
    const Place from = own.drawn;
    forget(own);
    ++figures_.mispredictions;
    figures_.jumps.push_back(distance(from, own.server));
}

void MovePredictor::forget(Own& own) {
    own.shifts.clear();
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
    if (!own.shifts.empty()) {
        p.x = own.shifts.back().x;
        p.rotation = own.shifts.back().rotation;
    }
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
    if (b->x() != own.drawn.x || b->y() != own.drawn.y || b->rotation() != own.drawn.rotation) {
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
