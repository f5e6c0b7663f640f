#pragma once

#include <QMetaType>
#include <QString>
#include <QTime>

// Outcome of a server-list request.
enum class MasterserverResult {
    ResultNone = 0,          // never produced by the network layer
    MasterListEmpty = 1,     // the master server knows no server
    MasterListReceived = 2,  // a list arrived; its servers are being probed
    MasterListDone = 3,      // no listed server is left to start probing (may come more than once)
    MasterUnreachable = 4,   // no master address, or it did not answer
};

// One entry of the server list: what a probed server says about itself, or
// (on the master server's side) one announced server kept alive by updates.
class ServerData {
public:
    static constexpr int kInitialLives = 3;

    ServerData(const QString& version, const QString& address, const QString& name, int port,
               bool ranked, bool hasPassword, int players, int maxPlayers, int ping,
               const QString& timeText);

    bool ranked() const { return ranked_; }
    bool hasPassword() const { return hasPassword_; }
    const QString& version() const { return version_; }
    const QString& address() const { return address_; }
    const QString& name() const { return name_; }
    int port() const { return port_; }
    int lives() const { return lives_; }
    int players() const { return players_; }
    int maxPlayers() const { return maxPlayers_; }
    int ping() const { return ping_; }
    QTime time() const { return time_; }
    // Found by asking the local networks, not (only) through the master server.
    bool isLan() const { return lan_; }
    void setLan(bool lan) { lan_ = lan; }
    // Same server as other, with the address compared as an address, so that
    // a master's entry and a LAN answer of one server meet.
    bool sameServer(const ServerData& other) const;

    bool isEmpty() const { return players_ == 0; }
    bool isFull() const { return players_ == maxPlayers_; }
    bool isCurrentVersion() const;
    // Same server: same address and port.
    bool operator==(const ServerData& other) const {
        return address_ == other.address_ && port_ == other.port_;
    }
    // Takes a newer announcement of the same server: false (and no change)
    // unless other's time is later than this one's.
    bool update(const ServerData& other);
    // One missed refresh; false once the entry has run out of lives.
    bool decay();

private:
    bool ranked_;
    bool hasPassword_;
    QString version_;
    QString address_;
    QString name_;
    int port_;
    int lives_ = kInitialLives;
    int players_;
    int maxPlayers_;
    int ping_;
    QTime time_;
    bool lan_ = false;
};

Q_DECLARE_METATYPE(ServerData)
