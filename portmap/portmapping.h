#pragma once

#include <QHostAddress>
#include <QMetaType>
#include <QString>

// Where friends can reach a hosted game: the outcome of asking the router to
// forward the game port, as one value the lobby can show on one line.
struct PortMapping {
    enum class State {
        Off,      // not asked for (switched off, singleplayer, loopback only)
        Pending,  // the router is being asked
        Open,     // forwarded: publicAddress:externalPort reaches the game
        Refused,  // no router said yes: only players on the local network can join
    };

    State state = State::Off;
    QString method;  // "UPnP IGD", "PCP" or "NAT-PMP" once open
    QHostAddress publicAddress;
    int localPort = -1;
    int externalPort = -1;

    // "203.0.113.7:27403" when open, empty otherwise.
    QString publicEndpoint() const;
    // Open, but the router's own outside address is private or shared
    // (another router, or the provider's NAT, stands in front of it): players
    // on the internet most likely cannot reach the game.
    bool behindAnotherNat() const;

    friend bool operator==(const PortMapping&, const PortMapping&) = default;
};

Q_DECLARE_METATYPE(PortMapping)

// Every duration of the port mapping in one place; tests shorten them.
struct PortMapTimings {
    int methodTimeoutMs = 5000;      // a way of asking that has not answered by then is passed over
    int leaseSeconds = 3600;         // asked of the router; renewed at half of what it grants
    int permanentRenewMs = 1200000;  // a grant without end is asked again now and then: a
                                     // router that restarted forgot it
    int releaseTimeoutMs = 2000;     // how long stopping waits for the router's answers
    int upnpDiscoveryMs = 1000;      // silence that ends the search for a UPnP router, which may
                                     // wait up to a second before it answers
    int gatewayFirstResendMs = 250;  // PCP/NAT-PMP: pause before the first repeat, then doubled
    int gatewaySends = 3;            // PCP/NAT-PMP: sends of one request before giving up
};
