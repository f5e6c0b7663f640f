#pragma once

#include "network/connectionsocketabstract.h"

// One UDP socket per peer, connected to it: the client's datagram connection
// to the game server, and the master server and probe connections.
class ConnectionSocketUdp : public ConnectionSocketAbstract {
    Q_OBJECT

public:
    ConnectionSocketUdp(const QString& name, int maxPlayers, bool singleplayer, bool stats,
                        int pingInterval, bool datagram, int hostKey, bool usePassword,
                        const QString& password, int timeout, QObject* parent = nullptr);

protected:
    QAbstractSocket* createSocket() override;
};
