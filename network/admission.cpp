#include "admission.h"

namespace {

Admission::Verdict refuse(HelloOutcome why) {
    return {why, -1, false};
}

}  // namespace

Admission::Verdict Admission::decide(const PayloadCodec::Hello& hello, const QHostAddress& from,
                                     const Tables& tables) const {
    if (clientIdCheck_ && (hello.requestedId < 0 || !clientIdCheck_(hello.requestedId, from))) {
        return refuse(HelloOutcome::Refused);
    }
    // A server without a key of its own (negative) recognises nobody by key.
    const bool keyMatches = rules_.hostKey >= 0 && hello.hostKey == rules_.hostKey;
    bool becomesHost = keyMatches;
    if (hostIdSource_ && hello.requestedId >= 0 && hello.requestedId == hostIdSource_()) {
        becomesHost = true;
    }
    if (firstClientIsHost_ && !tables.hostPresent) {
        becomesHost = true;
    }
    if (tables.playerCount == 0 && !becomesHost && !hostIdSource_) {
        return refuse(HelloOutcome::Refused);  // the host's own client joins first
    }
    if (rules_.singleplayer && !keyMatches) {
        return refuse(HelloOutcome::Refused);
    }
    if (rules_.usePassword && hello.password != rules_.password) {
        return refuse(HelloOutcome::WrongPassword);
    }
    if (hello.players < 1 || hello.players > PayloadCodec::kLocalPlayers) {
        return refuse(HelloOutcome::Refused);  // a count that would corrupt the player count
    }
    // Seated players count, but not as the host's client above: a hosted
    // server with computers seated still waits for its own client first.
    const int seated = static_cast<int>(tables.seats.size());
    if (rules_.maxPlayers < tables.playerCount + seated + hello.players) {
        return refuse(HelloOutcome::ServerFull);
    }
    const QList<int> taken = tables.clientIds + tables.seats;
    int clientId = -1;
    for (int id = 0; id < rules_.maxPlayers; ++id) {
        if (!taken.contains(id)) {
            clientId = id;
            break;
        }
    }
    if (hello.requestedId >= 0) {
        // The datagram connection of a client asks for its stream's id. An id
        // outside the player slots or held by someone else is refused, so
        // nobody can speak for another player.
        if (hello.requestedId >= rules_.maxPlayers || taken.contains(hello.requestedId)) {
            return refuse(HelloOutcome::Refused);
        }
        clientId = hello.requestedId;
    }
    if (clientId < 0) {
        return refuse(HelloOutcome::ServerFull);
    }
    return {HelloOutcome::Accepted, clientId, becomesHost};
}
