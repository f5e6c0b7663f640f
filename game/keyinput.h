#pragma once

#include <QList>
#include <QMetaType>
#include <array>

#include "keyslot.h"
#include "playerkey.h"

// How often each of a player's five keys was pressed, or carried out, in
// KeySlot order. The counts only grow within a game: a press is one more.
using KeyCounts = std::array<int, kKeySlots>;

// The key counters of a client's local players as they travel: pressed in
// "CINP", carried out by the server in "SMVE".
struct KeyInput {
    std::array<KeyCounts, kLocalPlayers> players{};

    KeyCounts& operator[](int local) { return players[std::size_t(local)]; }
    const KeyCounts& operator[](int local) const { return players[std::size_t(local)]; }
    // Adds presses, per key, to a local player's counters.
    void add(int local, const KeyCounts& presses);
    // Five per local player, in order.
    QList<int> toList() const;
    // A short list counts as zeros, as its missing tokens would; more than
    // ten counters are ignored.
    static KeyInput fromList(const QList<int>& counters);
    friend bool operator==(const KeyInput&, const KeyInput&) = default;
};

Q_DECLARE_METATYPE(KeyInput)
