#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "network/connectioninterface.h"
#include "network/messagecodes.h"

// The client's two channels to its server, the stream and the datagram
// path: what the client says goes out once, on the channel the code table
// names for it. Connecting each is the state machine's (Client); the
// channels hold no state of the game.
class ClientChannels {
public:
    ClientChannels(ClientConnection& stream, ClientConnection& datagram)
        : stream_(stream), datagram_(datagram) {}

    ClientConnection& stream() const { return stream_; }
    ClientConnection& datagram() const { return datagram_; }

    // The local players' names, colours and status: one or two of each.
    void players(const PayloadCodec::Players& players);
    void chat(const PayloadCodec::ChatLine& line);
    void kick(int clientId);
    void start();
    void restart();
    // Pauses, or resumes a game the own player paused.
    void pause();
    // Unreliable: the next counters overtake lost ones.
    void input(const KeyInput& keys);
    // Says goodbye on both ("CDSC"); immediately: without waiting for the
    // goodbye to go out.
    void leave(bool immediately);

private:
    template <typename Send>
    void on(MessageCode code, Send send);

    ClientConnection& stream_;
    ClientConnection& datagram_;
};
