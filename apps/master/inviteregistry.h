#pragma once

#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "network/endpoint.h"
#include "network/payloadcodec.h"

// The games that hold an invite code, by code. A game server registers from
// its master link ("SRG"): the first time it is given a new code and a token,
// later it proves with the token that the code is still its own, also from a
// new address (its router restarted), and from its other address family: a
// game is kept at one IPv4 and one IPv6 address. A registration repeated
// without the token from the same address and ports gets the same code back:
// the answer was lost. An unknown token gets a new code: the master server
// may have restarted. A code goes when its game says so or stays silent for
// Limits::lifetimeMs.
class InviteRegistry {
public:
    struct Limits {
        int maxInvites = 100000;
        int maxPerAddress = 32;     // one host cannot hold every code
        qint64 lifetimeMs = 60000;  // four keep-alives
        qint64 reprobeMs = 600000;  // a router may close what it opened
    };

    // Where the master server sees the game in one address family.
    struct Place {
        QHostAddress address;  // null: not heard in this family
        quint16 linkPort = 0;  // the game's master link, where answers go
        QHostAddress via;      // our address it registered at, where answers leave from
        qint64 probedMs = -1;  // -1: its reach is still to be found
        PayloadCodec::Reach stream = PayloadCodec::Reach::Unknown;
        PayloadCodec::Reach datagram = PayloadCodec::Reach::Unknown;

        bool isSet() const { return !address.isNull(); }
        bool unreachable() const {
            return stream == PayloadCodec::Reach::No && datagram == PayloadCodec::Reach::No;
        }
        // Not found unreachable either way (yet).
        bool direct() const {
            return stream != PayloadCodec::Reach::No && datagram != PayloadCodec::Reach::No;
        }
    };

    struct Invite {
        QString code;
        QString token;
        int gamePort = 0;  // the game port it announced
        qint64 seenMs = 0;
        Place v4;
        Place v6;
        // Credentials handed out for the relay (only to a game that can take
        // them), and what the game took there.
        bool takesRelay = false;
        QString relayUser;
        QString relayPassword;
        qint64 relayExpiry = 0;          // unix seconds
        std::optional<JoinWay> relayed;  // its addresses at our relay

        Place& place(const QHostAddress& address);
        // "address:port" to try in order: IPv6 first unless it was found
        // unreachable, then IPv4; a game the probe could not reach both ways
        // is tried through the relay ("address:port/port") first, when it
        // holds relayed addresses.
        QStringList endpoints() const;
    };

    InviteRegistry(std::function<quint32()> random, const Limits& limits);

    // A registration of gamePort from address:linkPort with token (empty or
    // unknown: a new code). Null when refused: a bad port or too many codes.
    Invite* enter(const QHostAddress& address, quint16 linkPort, int gamePort, const QString& token,
                  qint64 nowMs);
    // The game with that token gives its code back; false when none has it.
    bool withdraw(const QString& token);
    const Invite* find(const QString& code) const;
    Invite* find(const QString& code);
    // Codes whose game stayed silent too long, taken out.
    QStringList expire(qint64 nowMs);
    // Whether the reach of a place should be found out (again) now.
    bool wantsProbe(const Place& place, qint64 nowMs) const;
    int size() const { return static_cast<int>(invites_.size()); }

private:
    void count(const Place& place, int by);
    void remove(const QString& code);

    std::function<quint32()> random_;
    Limits limits_;
    QHash<QString, Invite> invites_;  // by code
    QHash<QString, QString> tokens_;  // token -> code
    QHash<QString, int> perAddress_;
};
