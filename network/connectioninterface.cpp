#include "connectioninterface.h"

ConnectionInterface::ConnectionInterface(const QString& name, int maxPlayers, bool singleplayer,
                                         bool stats, int pingInterval, bool datagram, int hostKey,
                                         bool usePassword, const QString& password, int timeout,
                                         QObject* parent)
    : QObject(parent),
      name_(name),
      password_(password),
      singleplayer_(singleplayer),
      stats_(stats),
      usePassword_(usePassword),
      datagram_(datagram),
      maxPlayers_(maxPlayers),
      pingInterval_(pingInterval),
      hostKey_(hostKey),
      timeout_(timeout) {}

ConnectionInterface::~ConnectionInterface() = default;
