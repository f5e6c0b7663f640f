#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include "network/connectionmessage.h"

class SocketAbstract;

// Where a connection stands.
enum class ConnectionState {
    StateNone = 0,       // not usable
    StateHandshake = 1,  // new, or waiting for the hello exchange
    StateLobby = 2,      // connected, no game running
    StateInGame = 3,     // a game is running
    StateClosing = 4,    // disconnect under way
};

// One connection of a ConnectionAbstract: its peer, state, timers, sequence
// numbers and the history that resend requests are served from.
class ConnectionInfo : public QObject {
    Q_OBJECT

public:
    explicit ConnectionInfo(int connId, QObject* parent = nullptr);
    ~ConnectionInfo() override;

    int connId;
    SocketAbstract* socket = nullptr;  // per-peer wrapper; none on a shared socket
    QHostAddress address;              // peer of a shared datagram socket or an accepted stream
    int port = -1;
    // The peer opened it (an accepted stream, a datagram from a new peer): a
    // client of ours, which may send only what clients send.
    bool accepted = false;
    ConnectionState state = ConnectionState::StateNone;
    QTimer timeoutTimer;  // single shot
    int resendCount = 0;  // retransmissions of lastMessage so far
    ConnectionMessage lastMessage;
    bool awaitingAnswer = false;  // lastMessage went out and is not answered yet
    QTimer resendTimer;           // repeating
    // Each direction counts on its own: both sides send reliable messages, and
    // one counter for both would take a peer's new message for a duplicate.
    int sequence = 0;                  // number of the last reliable message sent
    int receivedSequence = 0;          // number of the last reliable message delivered in order
    qint64 receivedReliableMs = -1;    // when it was delivered, by the connection's clock
    QList<ConnectionMessage> history;  // reliable messages sent, oldest first
    int clientId = -1;
    int players = 0;
    qint64 pingClockStart = -1;  // ms of the connection's clock, -1 = not started
    int ping = 999;

    bool inState(ConnectionState s) const { return state == s; }
    bool isPlaying() const {
        return state == ConnectionState::StateLobby || state == ConnectionState::StateInGame;
    }

Q_SIGNALS:
    void gotTimeout(int connId);
    void gotResend(int connId);

public Q_SLOTS:
    void processTimeout();
    void processResend();
};
