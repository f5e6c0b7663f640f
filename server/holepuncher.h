#pragma once

#include <QObject>
#include <functional>
#include <list>
#include <memory>

#include "network/endpoint.h"

// Opens the game's router towards a joiner the master server announced, so
// that the joiner's packets find it open: a few datagrams from the game port
// (sent by the owner, from the shared socket), and a stream from a port of
// its own that connects to the joiner while the joiner connects to it (TCP
// simultaneous open). Routers drop what comes in unasked, so the game's first
// packets are lost at the joiner's router; the joiner's, sent after the
// master server heard that the game opened, pass. A stream that comes
// through is handed over as a connected socket.
class HolePuncher : public QObject {
    Q_OBJECT

public:
    struct Timings {
        int datagrams = 3;        // punches from the game port
        int datagramGapMs = 100;  // between them
        int streamMs = 10000;     // how long the stream waits for the joiner
        int streamRetryMs = 200;  // after a connection refused, the next try
    };
    // A bound on streams waiting at once: an announced joiner costs a socket.
    static constexpr int kMaxWaiting = 16;

    using SendDatagram = std::function<void(const Endpoint& to)>;

    HolePuncher(SendDatagram send, const Timings& timings, QObject* parent = nullptr);
    ~HolePuncher() override;

    // Opens towards the joiner; the port the stream left from, 0 when none
    // could be opened (too many waiting, no socket).
    int open(const Endpoint& joiner);

Q_SIGNALS:
    // The joiner's stream came through; the descriptor is the receiver's.
    void connected(qintptr descriptor, Endpoint joiner);

private:
    struct Attempt;

    bool connectFrom(Attempt& attempt);
    void progress(Attempt* attempt);
    void drop(Attempt* attempt);

    SendDatagram send_;
    Timings timings_;
    std::list<std::unique_ptr<Attempt>> attempts_;
};
