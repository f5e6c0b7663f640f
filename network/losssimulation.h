#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "game/clock.h"
#include "game/randomsource.h"
#include "network/connectionmessage.h"

// Delay added to a program's datagrams, for playing a slow network on one
// machine: roundTripMs in all, half on the way out and half on the way in,
// each datagram's delay off by up to half of jitterMs each way, so that a
// round trip takes roundTripMs give or take jitterMs.
struct Latency {
    static constexpr int kMaxMs = 10000;
    int roundTripMs = 0;
    int jitterMs = 0;  // 0 to roundTripMs: no delay below zero

    // "MS" or "MS,JITTER" in decimal digits, MS at most kMaxMs and JITTER at
    // most MS; nothing for any other text.
    static std::optional<Latency> fromText(const QString& text);
    // What fromText takes, for the error messages of whoever reads it.
    static QString expected();
    friend bool operator==(const Latency&, const Latency&) = default;
};

// Holds actions back as a slow network holds datagrams: each for a delay of
// its own, drawn uniformly from meanMs - spreadMs to meanMs + spreadMs, so
// that with a spread a later one may overtake an earlier one, as datagrams do.
// Without a spread they keep their order.
class DelayLine {
public:
    DelayLine();
    ~DelayLine();
    DelayLine(const DelayLine&) = delete;
    DelayLine& operator=(const DelayLine&) = delete;

    // meanMs 0 and spreadMs 0: nothing held. spreadMs is at most meanMs.
    void setDelay(int meanMs, int spreadMs, std::uint32_t seed);
    bool active() const { return meanMs_ > 0 || spreadMs_ > 0; }
    // The clock due times are read from; tests move it by hand and call
    // release() instead of waiting for the timer.
    void setClock(const Clock& clock) { clock_ = &clock; }

    // pass runs once its drawn delay is over.
    void hold(std::function<void()> pass);
    // Runs every action that is due, the earliest first; those due at the same
    // time in the order they were held.
    void release();
    std::size_t held() const { return held_.size(); }

private:
    void schedule();

    const Clock* clock_;
    RandomSource random_;
    int meanMs_ = 0;
    int spreadMs_ = 0;
    std::multimap<qint64, std::function<void()>> held_;  // by due time
    QTimer timer_;
    // Tells a release loop that an action destroyed the line it came from.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Simulated datagram trouble for tests and soak runs: loss by a predicate or
// by counting, and delay. Off unless something is set; stream connections
// never lose or delay anything, so only datagram transports consult it.
struct LossSimulation {
    std::function<bool(const ConnectionMessage&)> dropOutgoing;
    std::function<bool(const ConnectionMessage&)> dropIncoming;
    int dropNextOutgoing = 0;  // the next n messages sent are lost
    int dropNextIncoming = 0;  // the next n messages received are lost
    DelayLine delayOutgoing;
    DelayLine delayIncoming;

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
    // Half the round trip each way (the odd millisecond on the way out), with
    // delays drawn from seed.
    void delay(const Latency& latency, std::uint32_t seed);
    void setClock(const Clock& clock) {
        delayOutgoing.setClock(clock);
        delayIncoming.setClock(clock);
    }

    // A datagram on its way out: lost (0), held for its delay (send runs
    // later, and its bytes count as sent now) or sent at once (what send
    // returns). send must still find its way when it runs late.
    template <typename Send>
    qint64 routeOutgoing(const ConnectionMessage& message, Send send) {
        if (takeOutgoing(message)) {
            return 0;
        }
        if (delayOutgoing.active()) {
            delayOutgoing.hold([send] { send(); });
            return message.encode().size();
        }
        return send();
    }
    // A datagram that arrived: lost, held for its delay, or passed on at once.
    template <typename Pass>
    void routeIncoming(const ConnectionMessage& message, Pass pass) {
        if (takeIncoming(message)) {
            return;
        }
        if (delayIncoming.active()) {
            delayIncoming.hold(std::move(pass));
        } else {
            pass();
        }
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
