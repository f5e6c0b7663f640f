#include "serverdata.h"

#include <QHostAddress>

#include "game/appinfo.h"

ServerData::ServerData(const QString& version, const QString& address, const QString& name,
                       int port, bool ranked, bool hasPassword, int players, int maxPlayers,
                       int ping, const QString& timeText)
    : ranked_(ranked),
      hasPassword_(hasPassword),
      version_(version),
      address_(address),
      name_(name),
      port_(port),
      players_(players),
      maxPlayers_(maxPlayers),
      ping_(ping),
      time_(QTime::fromString(timeText, Qt::ISODate)) {}

bool ServerData::isCurrentVersion() const {
    return version_ == QLatin1String(Quadrell::kVersion);
}

bool ServerData::sameServer(const ServerData& other) const {
    if (port_ != other.port_) {
        return false;
    }
    const QHostAddress a(address_);
    const QHostAddress b(other.address_);
    return a.isNull() || b.isNull() ? address_ == other.address_ : a.isEqual(b);
}

bool ServerData::update(const ServerData& other) {
    if (!(other.time_ > time_)) {
        return false;
    }
    time_ = other.time_;
    ranked_ = other.ranked_;
    version_ = other.version_;
    ++lives_;
    return true;
}

bool ServerData::decay() {
    --lives_;
    return lives_ >= 0;
}
