#include "server/seatholds.h"

void SeatHolds::hold(int clientId, Seat seat) {
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    // Told from the event loop: the seat's owner drops the timer along with it.
    QTimer* t = timer.get();
    QObject::connect(t, &QTimer::timeout, t, [this, clientId, t] {
        QMetaObject::invokeMethod(
            t, [this, clientId] { expired_(clientId); }, Qt::QueuedConnection);
    });
    timer->start(graceMs_);
    seats_[clientId] = {std::move(seat), std::move(timer)};
}

const SeatHolds::Seat* SeatHolds::find(int clientId) const {
    const auto it = seats_.find(clientId);
    return it == seats_.end() ? nullptr : &it->second.seat;
}

std::optional<SeatHolds::Seat> SeatHolds::take(int clientId) {
    const auto it = seats_.find(clientId);
    if (it == seats_.end()) {
        return std::nullopt;
    }
    Seat seat = std::move(it->second.seat);
    seats_.erase(it);
    return seat;
}

QList<int> SeatHolds::ids() const {
    QList<int> out;
    for (const auto& [id, held] : seats_) {
        out << id;
    }
    return out;
}
