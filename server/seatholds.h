#pragma once

#include <QList>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

// The seats of players whose connection dropped in a running game: who sat
// where, in which colour, until when. The server decides what happens on
// the field meanwhile; this only remembers and says when time is up.
class SeatHolds {
public:
    struct Player {
        int local = 0;
        int slot = -1;
        QString name;
        int colour = 0;
        bool autoColour = true;
    };
    struct Seat {
        QList<Player> players;
        bool standIn = false;  // computers play the slots meanwhile, else the pieces wait
    };

    // expired(clientId) runs when a seat's grace period is over.
    SeatHolds(int graceMs, std::function<void(int)> expired)
        : graceMs_(graceMs), expired_(std::move(expired)) {}

    int graceMs() const { return graceMs_; }
    void hold(int clientId, Seat seat);
    bool holds(int clientId) const { return seats_.count(clientId) != 0; }
    const Seat* find(int clientId) const;
    // The seat is no longer held: given back, or given up.
    std::optional<Seat> take(int clientId);
    QList<int> ids() const;

private:
    struct Held {
        Seat seat;
        std::unique_ptr<QTimer> expiry;
    };
    int graceMs_;
    std::function<void(int)> expired_;
    std::map<int, Held> seats_;
};
