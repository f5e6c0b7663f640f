#pragma once

#include <functional>

#include "network/connectionmessage.h"

// Simulated datagram loss for tests: drops messages on the way out or in, by
// a predicate or by counting. Off unless something is set; stream
// connections never lose anything, so only datagram transports consult it.
struct LossSimulation {
    std::function<bool(const ConnectionMessage&)> dropOutgoing;
    std::function<bool(const ConnectionMessage&)> dropIncoming;
    int dropNextOutgoing = 0;  // the next n messages sent are lost
    int dropNextIncoming = 0;  // the next n messages received are lost

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
