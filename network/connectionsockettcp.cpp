#include "connectionsockettcp.h"

#include <QTcpSocket>

ConnectionSocketTcp::ConnectionSocketTcp(const QString& name, int maxPlayers, bool singleplayer,
                                         bool stats, int pingInterval, bool datagram, int hostKey,
                                         bool usePassword, const QString& password, int timeout,
                                         QObject* parent)
    : ConnectionSocketAbstract(name, maxPlayers, singleplayer, stats, pingInterval, datagram,
                               hostKey, usePassword, password, timeout, parent) {}

QAbstractSocket* ConnectionSocketTcp::createSocket() {
    return new QTcpSocket(this);
}
