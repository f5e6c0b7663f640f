#include "server.h"

#include <QMetaObject>
#include <QTimer>
#include <memory>
#include <vector>

#include "game/gamedisplay.h"
#include "game/playernames.h"
#include "server/lobbyrules.h"
#include "server/masterannouncer.h"
#include "server/statsreport.h"
#include "server/tickmonitor.h"
#include "serverlog.h"

Q_LOGGING_CATEGORY(lcServer, "quadrell.server", QtWarningMsg)

namespace {

constexpr int kSlots = GameSimulation::kSlots;
constexpr int kStartRow = 25;
constexpr int kSpawnIntoPart = 4;  // columns from the start of a player's part

bool validConnId(int connId) {
    return connId >= 0 && connId < kSlots;
}

}  // namespace

namespace {

const Clock& clockOf(const Server::Environment& environment) {
    return environment.clock ? *environment.clock : Clock::system();
}

}  // namespace

Server::Server(const ServerSettings& settings, Links links, const Reporting& reporting,
               const Environment& environment, QObject* parent)
    : QObject(parent),
      settings_(settings),
      timings_(environment.timings),
      stream_(links.stream),
      datagram_(links.datagram),
      sessions_({settings.hostKey, settings.singleplayer, settings.usePassword, settings.password,
                 settings.maxPlayers}),
      holds_(timings_.seatGraceMs,
             [this](int connId) { guarded([this, connId] { expireHold(connId); }); }),
      handout_([this](int clientId, const PayloadCodec::ReplayPiece& piece) {
          stream_->sendSReplayPiece(clientId, piece);
      }),
      players_(*links.stream, *links.datagram),
      recorder_(environment.random ? *environment.random : RandomSource::forThisThread(),
                clockOf(environment), environment.replayFolder),
      sim_(recorder_.random(), recorder_.clock()),
      seats_(sim_, clockOf(environment)),
      broadcast_(sim_, seats_, players_,
                 [this](int score, int lines, const QString& playtime) {
                     gameEnded(score, lines, playtime);
                 }),
      tickTimer_(new QTimer(this)),
      countdown_(players_, timings_.countdownMs, [this] { updateCountDown(); }) {
    Q_ASSERT(stream_ && datagram_);
    sim_.setEvents(&broadcast_);
    stream_->setParent(this);
    datagram_->setParent(this);
    stream_->setGate(&sessions_);
    datagram_->setGate(&sessions_);

    tickTimer_->setInterval(timings_.tickMs);
    tickTimer_->setTimerType(Qt::PreciseTimer);
    connect(tickTimer_, &QTimer::timeout, this, &Server::mainLoop);

    connect(stream_, &ServerConnection::changedSPlayers, this, &Server::updatePlayers);
    connect(stream_, &ServerConnection::changedSPlayerStart, this, &Server::processPlayerStart);
    connect(stream_, &ServerConnection::changedSPlayerRestart, this, &Server::processPlayerRestart);
    connect(stream_, &ServerConnection::changedSPlayerPause, this, &Server::processPlayerPause);
    connect(stream_, &ServerConnection::changedSPlayerDisconnect, this,
            &Server::processPlayerDisconnect);
    connect(stream_, &ServerConnection::changedSPlayerKick, this, &Server::processPlayerKick);
    connect(stream_, &ServerConnection::changedSReplayRequest, this, [this](int connId) {
        if (fromClient(connId)) {
            qCDebug(lcServer) << "replay of" << recorder_.lastReplay().size() << "bytes to"
                              << connId;
            handout_.give(connId, recorder_.lastReplay());
        }
    });
    connect(datagram_, &ServerConnection::changedSMessage, this, &Server::processMessage);
    connect(datagram_, &ServerConnection::changedSPlayerInput, this, &Server::processPlayerInput);
    for (ConnectionInterface* c : {stream_, datagram_}) {
        connect(c, &ConnectionInterface::errorOccured, this, &Server::processConnectionError);
    }

    if (settings_.stats && !reporting.statsEndpoint.isEmpty()) {
        stats_ = new StatsReport(reporting.statsEndpoint, timings_, clockOf(environment), this);
        connect(stats_, &StatsReport::uploaded, this, [this] {
            players_.chat(ChatSender::kStatsUploaded, tr("Stats successfully uploaded."));
        });
        connect(stats_, &StatsReport::failed, this, [this] {
            players_.chat(ChatSender::kStatsFailed, tr("The stats could not be sended."));
        });
    }

    // A local game is nobody else's business.
    announcer_ = new MasterAnnouncer(
        links.master, settings_.singleplayer ? MasterserverSettings{} : reporting.masterServer,
        settings_.port, settings_.publicPort, settings_.listed,
        {timings_.heartbeatMs, timings_.masterKeepAliveMs, timings_.masterRetryMs}, this);
    connect(announcer_, &MasterAnnouncer::changedInvite, this,
            [this](const PayloadCodec::RegistrationAnswer& invite) {
                // A probe may come on either side.
                stream_->setInviteCode(invite.code);
                datagram_->setInviteCode(invite.code);
                Q_EMIT changedInvite(invite);
            });

    seats_.setSkill(settings_.computerSkill);
    for (int i = 0; i < settings_.computers; ++i) {
        addComputer();
    }
}

Server::~Server() {
    delete announcer_;  // takes the server off the master's list
    // From here on nothing a child raises may reach this half-destroyed server.
    sim_.setEvents(nullptr);
    for (QObject* child : children()) {
        disconnect(child, nullptr, this, nullptr);
    }
    delete stats_;
    delete datagram_;
    delete stream_;
}

template <typename Handler>
void Server::guarded(Handler handler) {
    if (!mutex_.tryLock()) {
        // Only this thread takes the mutex, so it is held further up this very
        // call stack: a connection raised an event from inside one of our sends.
        QMetaObject::invokeMethod(
            this, [this, handler] { guarded(handler); }, Qt::QueuedConnection);
        return;
    }
    handler();
    mutex_.unlock();
}

int Server::pauseCount() const {
    int count = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
        const GamePlayer* p = sim_.player(slot);
        count += (p && p->status() == GamePlayer::Pausing) ? 1 : 0;
    }
    return count;
}

bool Server::countdownRunning() const {
    return countdown_.running();
}

bool Server::tickRunning() const {
    return tickTimer_->isActive();
}

bool Server::fromClient(int connId) const {
    // A computer's id may have been a leaving client's, whose last words can
    // still arrive: they must not move the computer.
    return validConnId(connId) && !seats_.isSeat(connId);
}

// --- players --------------------------------------------------------------

void Server::updatePlayers(int connId, PayloadCodec::Players players) {
    // A stand-in may hold a returning client's id until the seat is given back.
    if (!validConnId(connId) || (!fromClient(connId) && !holds_.holds(connId))) {
        return;
    }
    guarded([this, connId, players] {
        if (sessions_.takeReturn(connId) && holds_.holds(connId)) {
            giveSeatBack(connId);
        }
        if (!fromClient(connId)) {
            return;
        }
        const bool joinedGame = LobbyRules::applyPlayerList(sim_, connId, players);
        assignColours();
        sendPlayerList();
        if (joinedGame) {
            broadcast_.sendGameState(connId);
        }
        checkAllReady();
    });
}

void Server::assignColours() {
    LobbyRules::assignColours(sim_);
}

void Server::sendPlayerList() {
    players_.playerList(LobbyRules::playerList(sim_));
}

void Server::checkAllReady() {
    int lastConnId = -1;
    bool human = false;  // computers alone never start a game
    for (int slot = 0; slot < kSlots; ++slot) {
        const GamePlayer* p = sim_.player(slot);
        if (!p) {
            continue;
        }
        if (p->status() != GamePlayer::Ready) {
            if (!countdown_.running()) {
                return;
            }
            countdown_.stop();
            if (sim_.tickCount() != 0) {
                return;  // a resume countdown: the game stays paused
            }
            restartAll(-1);  // the list changed during the start countdown
            return;
        }
        lastConnId = p->connId();
        human = human || !seats_.isSeat(lastConnId);
    }
    if (human) {
        startLocked(lastConnId);
    }
}

// --- start, stop, pause -----------------------------------------------------

void Server::processPlayerStart(int connId) {
    if (fromClient(connId) && LobbyRules::mayStart(sessions_, connId)) {
        guarded([this, connId] { startLocked(connId); });
    }
}

bool Server::hasPlayer(int connId) const {
    return sim_.findPlayer(connId, 0) >= 0 || sim_.findPlayer(connId, 1) >= 0;
}

void Server::startLocked(int connId) {
    // A partner alone on its connection counts: otherwise a list whose last
    // player is such a partner could never start by itself.
    if (!hasPlayer(connId)) {
        return;
    }
    int players = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
        const GamePlayer* p = sim_.player(slot);
        if (p && p->status() != GamePlayer::Ready) {
            return;
        }
        players += p ? 1 : 0;
    }
    // Each player starts 4 columns into its own 12-column part of the ring.
    int j = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
        if (GamePlayer* p = sim_.player(slot)) {
            p->setStatus(GamePlayer::Playing);
            p->setSpawn(GameField::kColumnsPerPlayer * j + kSpawnIntoPart, kStartRow);
            ++j;
        }
    }
    const int fieldsizeX = GameField::kColumnsPerPlayer * players;
    sendPlayerList();
    // The countdown goes first: clients take blocks only once they are in game.
    countdown_.start(false, connId, fieldsizeX);
    recorder_.start(sim_, fieldsizeX, seats_.ids());
    sim_.startGame(fieldsizeX);
    seats_.startGame();
    computerPlayed_ = seats_.count() > 0;
}

void Server::processPlayerRestart(int connId) {
    guarded([this, connId] {
        if (fromClient(connId) && LobbyRules::mayRestart(sessions_, connId) && hasPlayer(connId)) {
            restartAll(connId);
        }
    });
}

void Server::restartAll(int clientId) {
    players_.restart(clientId);
    stopGame();
}

void Server::stopGame() {
    releaseHolds();
    sim_.stopGame();
    recorder_.drop();
    countdown_.stop();
    // A stand-in's place is free again for whoever joins before the next game.
    const QList<int> standIns = seats_.standIns();
    for (int id : standIns) {
        sim_.takePlayer(sim_.findPlayer(id, 0));
        seats_.unseat(id);
    }
    if (!standIns.isEmpty()) {
        publishSeats();
    }
    for (int slot = 0; slot < kSlots; ++slot) {
        GamePlayer* p = sim_.player(slot);
        if (p && seats_.isSeat(p->connId())) {
            p->setStatus(GamePlayer::Ready);  // a computer is always ready
        } else if (p && (p->isInGame() || p->status() == GamePlayer::Spectating)) {
            p->setStatus(GamePlayer::Waiting);
        }
    }
    assignColours();
    sendPlayerList();
    stopTicking();
}

void Server::processPlayerPause(int connId) {
    if (fromClient(connId)) {
        guarded([this, connId] { togglePause(connId); });
    }
}

void Server::togglePause(int connId) {
    // The connection's first player speaks for it (a partner may be alone).
    int slot = sim_.findPlayer(connId, 0);
    if (slot < 0) {
        slot = sim_.findPlayer(connId, 1);
    }
    const GamePlayer* p = sim_.player(slot);
    // A request from outside the game changes nothing, in particular it does
    // not stop a resume countdown.
    if (!sim_.running() || !p || !p->isInGame()) {
        return;
    }
    countdown_.stop();
    if (sim_.tickCount() == 0) {
        restartAll(-1);  // paused during the start countdown: the start is off
        return;
    }
    const auto status =
        p->status() == GamePlayer::Playing ? GamePlayer::Pausing : GamePlayer::Playing;
    for (int local = 0; local < 2; ++local) {
        GamePlayer* q = sim_.player(sim_.findPlayer(connId, local));
        if (q && q->isInGame()) {
            q->setStatus(status);
        }
    }
    assignColours();
    sendPlayerList();
    if (pauseCount() > 0) {
        players_.pause({connId, -1});
        setPaused(true);
    } else {
        countdown_.start(true, connId, sim_.fieldsizeX());
    }
}

void Server::setPaused(bool paused) {
    const bool change = sim_.paused() != paused;
    if (!sim_.paused() && paused) {
        stopTicking();
    }
    if (sim_.paused() && !paused) {
        startTicking();
    }
    sim_.setPaused(paused);
    if (change) {
        recorder_.paused(paused);
    }
}

void Server::startTicking() {
    tickTimer_->start();
}

void Server::stopTicking() {
    tickTimer_->stop();
    if (monitor_) {
        monitor_->interrupted();
    }
}

void Server::updateCountDown() {
    guarded([this] {
        if (!countdown_.step(sim_.fieldsizeX())) {
            return;
        }
        if (countdown_.isResume()) {
            setPaused(false);
        } else {
            sim_.beginPlay();
            recorder_.beginPlay();
            startTicking();
        }
    });
}

void Server::mainLoop() {
    if (monitor_) {
        monitor_->tickStarted();
    }
    guarded([this] {
        seats_.play();
        recorder_.tick(sim_);
        sim_.mainLoop();
    });
    if (monitor_) {
        monitor_->tickFinished();
    }
}

void Server::processPlayerInput(int connId, KeyInput input) {
    if (fromClient(connId)) {
        guarded([this, connId, input] { sim_.processPlayerInput(connId, input); });
    }
}

// --- leave, kick, chat, errors ----------------------------------------------

void Server::processPlayerDisconnect(int connId) {
    if (LobbyRules::leavingEndsServer(sessions_, connId)) {
        // Said at once: the connections it clears must not answer the goodbye.
        players_.shutDown(connId);
        processShutdown(connId);
        return;
    }
    if (fromClient(connId)) {
        guarded([this, connId] { leave(connId); });
    }
}

void Server::leave(int connId) {
    const bool computer = seats_.isSeat(connId);
    QList<GameBlock*> parked;
    std::vector<std::unique_ptr<GamePlayer>> removed;
    QList<int> freedSlots;  // of players who left the game, as removed holds them
    for (int local = 0; local < 2; ++local) {
        const int slot = sim_.findPlayer(connId, local);
        GamePlayer* p = sim_.player(slot);
        if (!p) {
            continue;
        }
        if (sim_.paused() && p->status() == GamePlayer::Pausing) {
            togglePause(connId);
        }
        if (p->isInGame() && p->currentBlock()) {
            // Out of everybody's view; the blocks live until the list went out.
            sim_.field().releaseCells(*p->currentBlock());
            const int away = GameSimulation::leftPosition(slot);
            for (GameBlock* b : {p->currentBlock(), p->nextBlock()}) {
                if (b) {
                    b->setPosition(away, away, b->rotation());
                    parked << b;
                }
            }
        }
        freedSlots << (p->isInGame() && !computer ? slot : -1);
        if (p->isInGame()) {
            recorder_.left(slot);
        }
        removed.push_back(sim_.takePlayer(slot));
    }
    if (computer) {
        seats_.unseat(connId);
        publishSeats();
    } else {
        players_.disconnect(connId);
        handout_.forget(connId);
    }
    // Somebody must still be playing for a computer to stand in: a game of
    // computers alone ends below.
    QList<std::pair<int, QString>> standIns;  // slot, whom the computer replaces
    if (settings_.computerTakeover && sim_.running() && seats_.humansInGame() > 0) {
        // A held seat's id is nobody's to take but its own stand-in's.
        const QList<int> connected = sessions_.clientIds() + sessions_.heldIds();
        for (int i = 0; i < freedSlots.size(); ++i) {
            if (freedSlots[i] >= 0 &&
                seats_.standIn(freedSlots[i], *removed[i], connected, connId) >= 0) {
                standIns.append({freedSlots[i], removed[i]->name()});
            }
        }
    }
    if (!standIns.isEmpty()) {
        computerPlayed_ = true;
        publishSeats();
    }
    assignColours();
    sendPlayerList();
    if (!parked.isEmpty()) {
        players_.moves(parked, sim_.activeBlockIds(), sim_.keysDone());
    }
    for (const auto& [slot, replaced] : standIns) {
        dealIntoPart(slot, true);
        players_.chat(ChatSender::kPlayerLeft,
                      tr("%1 takes over for %2").arg(sim_.player(slot)->name(), replaced));
    }
    removed.clear();
    if (!sim_.running()) {
        checkAllReady();
    } else if (seats_.humansInGame() == 0) {
        restartAll(-1);
        checkAllReady();
    }
}

void Server::dealIntoPart(int slot, bool computer) {
    sim_.player(slot)->setSpawn(seats_.partOf(slot) + kSpawnIntoPart, kStartRow);
    sim_.dealBlocks(slot);
    recorder_.joined(sim_, slot, computer);
}

// --- computer players -------------------------------------------------------

void Server::addComputer() {
    guarded([this] {
        int slot = 0;
        int players = 0;
        for (int i = kSlots - 1; i >= 0; --i) {
            if (sim_.player(i)) {
                ++players;
            } else {
                slot = i;
            }
        }
        // The limit is the sessions': a client that joined and has not named
        // its players yet holds its places.
        if (sim_.running() || players >= kSlots || !sessions_.hasRoom(1) ||
            seats_.seatIn(slot, sessions_.clientIds()) < 0) {
            return;
        }
        publishSeats();
        assignColours();
        sendPlayerList();
        checkAllReady();
    });
}

void Server::publishSeats() {
    sessions_.setSeats(seats_.ids());
}

void Server::processPlayerKick(int connId, int id) {
    // Ids name clients 0..3; -1 would tell the connections to drop everyone.
    if (!LobbyRules::mayKick(sessions_, connId) || !validConnId(id)) {
        return;
    }
    guarded([this, id] {
        players_.kick(id);
        leave(id);
    });
}

void Server::processMessage(int connId, PayloadCodec::ChatLine line) {
    guarded([this, connId, line] {
        const int slot = fromClient(connId) ? sim_.findPlayer(connId, line.player) : -1;
        // Senders below 0 are the server's own notices; nobody else may use them.
        if (slot < 0) {
            qCDebug(lcServer) << "chat from a connection without player dropped" << connId;
            return;
        }
        players_.chat(slot, PlayerNames::sanitisedChat(line.text));
    });
}

void Server::processConnectionError(int connId, ConnectionInterface::ConnectionError error) {
    qCDebug(lcServer) << "connection error" << connId << error;
    // Without a client id only the shared datagram socket failing concerns
    // the players: it ends every datagram connection at once. Any other
    // error without one is a connection that never got that far.
    const bool everyone = connId == -1 && error == ConnectionInterface::ConnectionLost;
    guarded([this, connId, everyone] {
        if (everyone) {
            for (int c = 0; c < kSlots; ++c) {
                if (fromClient(c)) {
                    leave(c);
                }
            }
        } else if (holds_.holds(connId)) {
            // The other channel of a seat already held.
        } else if (holdable(connId)) {
            hold(connId);
        } else if (fromClient(connId) && hasPlayer(connId)) {
            leave(connId);
        }
    });
}

void Server::processShutdown(int connId) {
    qCDebug(lcServer) << "shut down by connection" << connId;
    deleteLater();
}

// --- a joiner's snapshot, the end of a game ---------------------------------

void Server::sendGameState(int connId) {
    guarded([this, connId] { broadcast_.sendGameState(connId); });
}

void Server::gameEnded(int score, int lines, const QString& playtime) {
    const QByteArray replay = recorder_.finish(score, lines, playtime);
    // A game with a computer in it is no measure of its players.
    if (stats_ && !computerPlayed_) {
        QStringList players;
        for (int slot = 0; slot < kSlots; ++slot) {
            const GamePlayer* p = sim_.player(slot);
            if (p && p->isInGame()) {
                players << p->name();
            }
        }
        stats_->send(score, lines, playtime, players, replay);
    }
    stopGame();
    if (!replay.isEmpty()) {
        Q_EMIT gameRecorded(replay);
    }
}

// --- master server ------------------------------------------------------------

bool Server::registered() const {
    return announcer_->registered();
}

void Server::sendHeartbeat() {
    announcer_->sendHeartbeat();
}

int Server::publicPort() const {
    return announcer_->publicPort();
}

void Server::setPublicPort(int port) {
    settings_.publicPort = port;
    announcer_->setPublicPort(port);
}
