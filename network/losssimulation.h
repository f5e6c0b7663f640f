#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "game/randomsource.h"
#include "network/connectionmessage.h"

// Simulated datagram loss for tests: drops messages on the way out or in, by
// a predicate or by counting. Off unless something is set; stream
// connections never lose anything, so only datagram transports consult it.
struct LossSimulation {
    std::function<bool(const ConnectionMessage&)> dropOutgoing;
    std::function<bool(const ConnectionMessage&)> dropIncoming;
    int dropNextOutgoing = 0;  // the next n messages sent are lost
    int dropNextIncoming = 0;  // the next n messages received are lost

    // About percent of the messages lost each way, drawn from a generator of
    // its own so that a run can be repeated with the same seed.
    void loseShare(int percent, std::uint32_t seed) {
        if (percent <= 0) {
            dropOutgoing = dropIncoming = nullptr;
            return;
        }
        auto random = std::make_shared<RandomSource>(seed);
        const auto lose = [random, percent](const ConnectionMessage&) {
            return random->next() % 100 < percent;
        };
        dropOutgoing = lose;
        dropIncoming = lose;
    }

    bool takeOutgoing(const ConnectionMessage& message) {
        return take(dropNextOutgoing, dropOutgoing, message);
    }
    bool takeIncoming(const ConnectionMessage& message) {
        return take(dropNextIncoming, dropIncoming, message);
    }

private:
    static bool take(int& counter, const std::function<bool(const ConnectionMessage&)>& predicate,
                     const ConnectionMessage& message) {
        if (counter > 0) {
            --counter;
            return true;
        }
        return predicate && predicate(message);
    }
};
