#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include "game/clock.h"
#include "game/gamesimulation.h"
#include "game/randomsource.h"
#include "network/connectioninterface.h"
#include "network/masterserversettings.h"
#include "server/computerseats.h"
#include "server/gamebroadcast.h"
#include "server/gamerecorder.h"
#include "server/playersessions.h"
#include "server/replayhandout.h"
#include "server/seatholds.h"
#include "server/servercountdown.h"
#include "server/serversettings.h"
#include "server/sessionchannels.h"

class MasterAnnouncer;
class QTimer;
class StatsReport;
class TickMonitor;

// The connections, adopted as children: stream and datagram are
// required; master may be null (no master server).
struct ServerLinks {
    ServerConnection* stream = nullptr;
    ServerConnection* datagram = nullptr;
    MasterConnection* master = nullptr;
};

// Where a game is told: the master servers, and the stats endpoint of a
// ranked server (empty: none).
struct ServerReporting {
    MasterserverSettings masterServer;
    QUrl statsEndpoint;
};

// What tests shorten or fix; null: this thread's random source, the
// system clock. Each game's seed is drawn from the random source.
struct ServerEnvironment {
    ServerTimings timings;
    RandomSource* random = nullptr;
    const Clock* clock = nullptr;
    QString replayFolder{};  // where finished games are kept; empty: nowhere
};

// The game server: player slots, joining, start, pause, restart, leave, kick and
// chat, the countdowns and the 20 ms tick, and the stats report. The rules of
// the field and the tick live in GameSimulation, those of the player list in
// LobbyRules, who may join and who is host in PlayerSessions (the gate of both
// connections), the countdowns' steps in ServerCountdown, the master server's
// list in MasterAnnouncer; the server turns what happens into messages, sent
// once each through SessionChannels, those of the running game through
// GameBroadcast.
//
// It owns no sockets. Whoever hosts it creates the stream (TCP), datagram (UDP)
// and master connections, hands each accepted socket to the stream connection,
// and passes the connections in; the server adopts them as children.
//
// Connection ids 0..3 name the clients and the computer players
// (ComputerSeats), which hold ids no connection holds; a player's key is
// playerKey(connId, local player number). Everything runs on the server's thread. The mutex is
// held by every tick and every handler that touches the players or the field;
// it is not recursive, so an event that a connection raises while the server is
// inside one of its own send calls is handled right after the current handler.
class Server : public QObject {
    Q_OBJECT

public:
    using Links = ServerLinks;
    using Reporting = ServerReporting;
    using Environment = ServerEnvironment;
    Server(const ServerSettings& settings, Links links, const Reporting& reporting = {},
           const Environment& environment = {}, QObject* parent = nullptr);
    // Tells the master server that this server goes away.
    ~Server() override;

    const ServerSettings& settings() const { return settings_; }
    // For tests and tools on the server thread; do not keep references to
    // blocks or players across ticks or handlers.
    GameSimulation& simulation() { return sim_; }
    const GameSimulation& simulation() const { return sim_; }

    int pauseCount() const;
    bool countdownRunning() const;
    bool tickRunning() const;
    bool registered() const;
    const ComputerSeats& computers() const { return seats_; }
    const PlayerSessions& sessions() const { return sessions_; }
    const GameRecorder& recorder() const { return recorder_; }
    // The master server's side of the game: its code, the relay's addresses.
    MasterAnnouncer& announcer() const { return *announcer_; }

    // The port the master server hears from now on: the router's external
    // port once it forwards one, the game port otherwise. The first call
    // starts the announcements held back by ServerSettings::publicPort 0; a
    // change after that takes the old port off the list.
    void setPublicPort(int port);
    int publicPort() const;
    // Null unless ranked with a stats endpoint.
    StatsReport* statsReport() const { return stats_; }

    // Snapshot of the running game for a player who joined it.
    void sendGameState(int connId);

    // Measures every tick from now on; null stops it. Not owned: it must
    // outlive the server or be taken back first.
    void setTickMonitor(TickMonitor* monitor) { monitor_ = monitor; }

public Q_SLOTS:
    void updatePlayers(int connId, PayloadCodec::Players players);
    void processPlayerStart(int connId);
    void processPlayerRestart(int connId);
    void processPlayerPause(int connId);
    void processPlayerDisconnect(int connId);
    void processPlayerKick(int connId, int id);
    void processMessage(int connId, PayloadCodec::ChatLine line);
    void processPlayerInput(int connId, KeyInput input);
    void processConnectionError(int connId, ConnectionInterface::ConnectionError error);
    void processShutdown(int connId);
    // The host's lobby action: one more computer player, while a place is
    // free and no game runs. Kicking its id removes it.
    void addComputer();

    // One tick of the game.
    void mainLoop();
    // One step of the running countdown.
    void updateCountDown();

    void sendHeartbeat();

Q_SIGNALS:
    // The master server gave the game an invite code or found out how it can
    // be reached.
    void changedInvite(PayloadCodec::RegistrationAnswer invite);
    // A game ended with a result: its replay (ReplayFile).
    void gameRecorded(QByteArray replay);

private:
    static constexpr int kMaxConnections = 4;

    // Runs handler under the server mutex, or later if the mutex is taken.
    template <typename Handler>
    void guarded(Handler handler);

    bool hasPlayer(int connId) const;
    // A client's id, not a computer's.
    bool fromClient(int connId) const;

    // Everything below expects the server mutex to be held.
    void assignColours();
    void sendPlayerList();
    void checkAllReady();
    void startLocked(int connId);
    void stopGame();
    void togglePause(int connId);
    void leave(int connId);
    // The slot's new player in the running game (a stand-in, or one back
    // after a drop) gets fresh pieces in the slot's own part of the ring.
    void dealIntoPart(int slot, bool computer);
    // A player of a running game dropped: its seat waits for its token, with
    // computers standing in where the host allows them and others play on,
    // else with its pieces where they are.
    bool holdable(int connId) const;
    void hold(int connId);
    // Back by its token: in its slot again, with the running field.
    void giveSeatBack(int connId);
    void expireHold(int connId);
    // The game ended: no seat of it waits any more.
    void releaseHolds();
    void setPaused(bool paused);
    void restartAll(int connId);
    void startTicking();
    void stopTicking();
    // Tells the sessions which ids the computers hold.
    void publishSeats();

    // The players heard that the game is over: the stats report, then the lobby.
    void gameEnded(int score, int lines, const QString& playtime);

    ServerSettings settings_;
    ServerTimings timings_;
    ServerConnection* stream_;
    ServerConnection* datagram_;
    PlayerSessions sessions_;
    SeatHolds holds_;
    ReplayHandout handout_;
    SessionChannels players_;
    GameRecorder recorder_;  // before sim_: it hands it the pieces' source and the clock
    GameSimulation sim_;
    ComputerSeats seats_;
    GameBroadcast broadcast_;
    QMutex mutex_;

    QTimer* tickTimer_;
    ServerCountdown countdown_;
    MasterAnnouncer* announcer_ = nullptr;
    StatsReport* stats_ = nullptr;  // only for ranked games with an endpoint
    TickMonitor* monitor_ = nullptr;

    bool computerPlayed_ = false;  // in the game now running: it is not reported
};
