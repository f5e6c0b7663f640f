#include "portmap/reachability.h"

QString Reachability::line(const PortMapping& m, Audience audience) {
    const bool lobby = audience == Audience::Lobby;
    switch (m.state) {
        case PortMapping::State::Pending:
            return lobby ? tr("Asking the router for port %1...").arg(m.localPort) : QString();
        case PortMapping::State::Open:
            if (m.behindAnotherNat()) {
                return lobby ? tr("The router opened %1, but another router or the provider "
                                  "stands in front of it: friends on the internet probably "
                                  "cannot join")
                                   .arg(m.publicEndpoint())
                             : QStringLiteral(
                                   "quadrell-server: the router opened %1 (%2), but that address "
                                   "is private: another router or the provider stands in front, "
                                   "so players on the internet probably cannot join")
                                   .arg(m.publicEndpoint(), m.method);
            }
            return lobby ? tr("Friends can join at %1").arg(m.publicEndpoint())
                         : QStringLiteral("quadrell-server reachable at %1 (%2)")
                               .arg(m.publicEndpoint(), m.method);
        case PortMapping::State::Refused:
            return lobby ? tr("The router did not open the port: only players on this network "
                              "can join")
                         : QStringLiteral(
                               "quadrell-server not reachable from the internet: the router did "
                               "not open port %1 (only players on the local network can join)")
                               .arg(m.localPort);
        case PortMapping::State::Off:
            break;
    }
    return {};
}
