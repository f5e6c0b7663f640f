#include "connectionsocketudp.h"

#include <QUdpSocket>

ConnectionSocketUdp::ConnectionSocketUdp(const QString& name, int maxPlayers, bool singleplayer,
                                         bool stats, int pingInterval, bool datagram, int hostKey,
                                         bool usePassword, const QString& password, int timeout,
                                         QObject* parent)
    : ConnectionSocketAbstract(name, maxPlayers, singleplayer, stats, pingInterval, datagram,
                               hostKey, usePassword, password, timeout, parent) {}

QAbstractSocket* ConnectionSocketUdp::createSocket() {
    return new QUdpSocket(this);
}
