#include "keyinput.h"

void KeyInput::add(int local, const KeyCounts& presses) {
    KeyCounts& counts = (*this)[local];
    for (int k = 0; k < kKeySlots; ++k) {
        counts[std::size_t(k)] += presses[std::size_t(k)];
    }
}

QList<int> KeyInput::toList() const {
    QList<int> out;
    out.reserve(kLocalPlayers * kKeySlots);
    for (const KeyCounts& counts : players) {
        for (int n : counts) {
            out << n;
        }
    }
    return out;
}

KeyInput KeyInput::fromList(const QList<int>& counters) {
    KeyInput in;
    for (int local = 0; local < kLocalPlayers; ++local) {
        for (int k = 0; k < kKeySlots; ++k) {
            in[local][std::size_t(k)] = counters.value(local * kKeySlots + k);
        }
    }
    return in;
}
