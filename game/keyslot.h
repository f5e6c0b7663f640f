#pragma once

#include <cstddef>

// The five keys a player has, in the order their counters travel on the wire.
enum class KeySlot { Rotate, Down, Right, Left, Drop };

inline constexpr int kKeySlots = 5;

constexpr std::size_t slotIndex(KeySlot slot) {
    return static_cast<std::size_t>(slot);
}

// The slot of a counter in a list of several players' counters, five each.
constexpr KeySlot slotOf(int counter) {
    return static_cast<KeySlot>(counter % kKeySlots);
}
