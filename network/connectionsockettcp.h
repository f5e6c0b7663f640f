#pragma once

#include "network/connectionsocketabstract.h"

// One TCP socket per peer: the game server's stream side and the client's
// stream connection. Messages are never numbered on a stream.
class ConnectionSocketTcp : public ConnectionSocketAbstract {
    Q_OBJECT

public:
    ConnectionSocketTcp(const QString& name, int maxPlayers, bool singleplayer, bool stats,
                        int pingInterval, bool datagram, int hostKey, bool usePassword,
                        const QString& password, int timeout, QObject* parent = nullptr);

protected:
    QAbstractSocket* createSocket() override;
    bool isStreamTransport() const override { return true; }
};
