#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include "game/gameplayer.h"
#include "network/connectionmessage.h"
#include "network/reliablechannel.h"

class SocketAbstract;

// Where a connection stands.
enum class ConnectionState {
    StateNone = 0,       // not usable
    StateHandshake = 1,  // new, or waiting for the hello exchange
    StateLobby = 2,      // connected, no game running
    StateInGame = 3,     // a game is running
    StateClosing = 4,    // disconnect under way
};

// One connection of a ConnectionCore: its peer, state, timers, the hello,
// probe or announcement it repeats, and its reliable channel.
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
    ReliableChannel channel;      // numbering and history, on datagram connections
    int clientId = -1;
    int players = 0;
    qint64 pingClockStart = -1;  // ms of the connection's clock, -1 = not started
    int ping = GamePlayer::kNoPing;

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
