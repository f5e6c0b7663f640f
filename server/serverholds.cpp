// The server's side of a dropped player's seat: held through the grace
// period, given back to the token, let go when time is up or the game ends.

#include <QStringList>

#include "game/gamedisplay.h"
#include "server.h"
#include "serverlog.h"

bool Server::holdable(int connId) const {
    const PlayerSession* session = sessions_.find(connId);
    if (!sim_.running() || sim_.tickCount() == 0 || !fromClient(connId) || !session ||
        session->token.isEmpty()) {
        return false;
    }
    for (int local = 0; local < 2; ++local) {
        const GamePlayer* p = sim_.player(sim_.findPlayer(connId, local));
        if (p && p->isInGame()) {
            return true;
        }
    }
    return false;
}

void Server::hold(int connId) {
    if (sim_.paused() && pauseCount() > 0) {
        const GamePlayer* p = sim_.player(sim_.findPlayer(connId, 0));
        if (p && p->status() == GamePlayer::Pausing) {
            togglePause(connId);  // nobody could take its pause back
        }
    }
    SeatHolds::Seat seat;
    QStringList names;
    for (int local = 0; local < 2; ++local) {
        const int slot = sim_.findPlayer(connId, local);
        const GamePlayer* p = sim_.player(slot);
        if (p && p->isInGame()) {
            seat.players.append({local, slot, p->name(), p->colour(), p->autoColour()});
            names << p->name();
        }
    }
    // Computers stand in only beside somebody: a game of computers alone ends.
    const int others = seats_.humansInGame() - static_cast<int>(seat.players.size());
    seat.standIn = settings_.computerTakeover && others > 0;
    sessions_.hold(connId);
    holds_.hold(connId, seat);
    qCDebug(lcServer) << "seat of" << connId << "held" << (seat.standIn ? "with stand-ins" : "");
    if (seat.standIn) {
        leave(connId);
    } else {
        for (const SeatHolds::Player& held : seat.players) {
            sim_.player(held.slot)->setAway(true);
            recorder_.away(held.slot, true);
        }
        players_.drop(connId);
        sendPlayerList();
    }
    players_.chat(ChatSender::kPlayerLeft, tr("%1 lost the connection; the seat waits %2 seconds.")
                                               .arg(names.join(QStringLiteral(", ")))
                                               .arg(holds_.graceMs() / 1000));
}

void Server::giveSeatBack(int connId) {
    const std::optional<SeatHolds::Seat> seat = holds_.take(connId);
    if (!seat || !sim_.running()) {
        return;
    }
    QStringList names;
    for (const SeatHolds::Player& held : seat->players) {
        GamePlayer* p = sim_.player(held.slot);
        if (p && p->connId() == connId && !seats_.isSeat(connId)) {
            p->setAway(false);  // its piece waited where it was
            p->resetKeys(true);
            recorder_.away(held.slot, false);
        } else {
            if (p && seats_.isSeat(p->connId())) {
                leave(p->connId());  // the stand-in makes room
            }
            if (sim_.player(held.slot) || !sim_.running()) {
                continue;
            }
            sim_.addPlayer(held.slot, connId, held.local,
                           std::make_unique<GamePlayer>(connId, held.name, held.colour,
                                                        held.autoColour, GamePlayer::Playing));
            dealIntoPart(held.slot, false);
        }
        names << held.name;
    }
    qCDebug(lcServer) << "seat of" << connId << "given back";
    assignColours();
    sendPlayerList();
    broadcast_.sendGameState(connId);
    players_.chat(ChatSender::kPlayerJoined,
                  tr("%1 is back").arg(names.join(QStringLiteral(", "))));
}

void Server::expireHold(int connId) {
    if (!holds_.take(connId)) {
        return;
    }
    sessions_.release(connId);
    // Pieces that waited go, as any leaver's; stand-ins play on.
    if (!seats_.isSeat(connId) && hasPlayer(connId)) {
        leave(connId);
    }
}

void Server::releaseHolds() {
    for (int connId : holds_.ids()) {
        holds_.take(connId);
        sessions_.release(connId);
        for (int local = 0; local < 2; ++local) {
            const int slot = sim_.findPlayer(connId, local);
            if (slot >= 0 && !seats_.isSeat(connId)) {
                sim_.takePlayer(slot);
            }
        }
    }
}
