#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "client/clientfield.h"
#include "client/clientgame.h"
#include "client/clientlobby.h"
#include "client/clientnetwork.h"
#include "client/clientscreen.h"
#include "client/clientsession.h"
#include "client/clientsettings.h"
#include "client/embeddedserver.h"
#include "client/highscorefile.h"
#include "client/replayinbox.h"
#include "client/seatkeeper.h"
#include "client/serverbrowser.h"
#include "game/gameplayer.h"
#include "network/connectioninterface.h"
#include "network/serverdata.h"

// The one client of the program, as a state machine: hosts (its own server,
// started through the program's ServerStarter) or joins a game (after the
// browser's probe), connects the stream and then the datagrams, announces the
// server's player list and leaves, on request or on an error, with the texts
// the player sees.
//
// It owns the parts the program wires to the GUI: the screen it speaks
// through, the lobby's controls and texts (ClientLobby), the game events
// (ClientGame) and the server list (ServerBrowser); and the session record
// that it shares with the lobby and the game events.
class Client : public QObject {
    Q_OBJECT

public:
    // Everything the client would otherwise take from the process.
    struct Environment {
        QString directory;                // settings.ini and masterserver.ini; empty: working dir
        QString highscoreDirectory;       // highscore.dat; empty: directory
        std::function<QDateTime()> now;   // date of highscore lines; empty: local time
        std::function<void(int)> quit;    // ends the program; empty: QCoreApplication::exit
        std::function<int()> newHostKey;  // empty: drawHostKey, the system's strong source
        HostLookup lookup;                // host names to join; empty: the system's resolver
        // Where a seat is kept for coming back after the program was ended;
        // empty: seat.ini beside highscore.dat.
        QString seatFile;
    };

    // The leaving under way: what follows once the connection is closed.
    enum class EndMode { Stay, MainMenu, Quit };

    // The game's client on socket connections. serverStarter runs its own
    // server when hosting; without one, hosting fails as if it could not start.
    explicit Client(Environment environment = {}, const ClientNetwork& network = {},
                    ServerStarter serverStarter = {}, QObject* parent = nullptr);
    // Takes the three connections (game stream, game datagram, master server and
    // probes) as children, and the way to start its own server when hosting.
    Client(ClientConnection* tcpConnection, ClientConnection* udpConnection,
           MasterConnection* masterConnection, ServerStarter serverStarter,
           Environment environment = {}, QObject* parent = nullptr);
    ~Client() override;

    // The parts the program wires to the GUI.
    ClientScreen& screen() { return screen_; }
    ClientLobby& lobby() { return lobby_; }
    ClientGame& game() { return game_; }
    // The copy of the field, fed by the game's reports.
    ClientField& field() { return field_; }
    ServerBrowser& browser() { return browser_; }

    // Saved options, hosting defaults and join cache, read by the GUI.
    const ClientSettings& settings() const { return settings_; }
    const HighscoreFile& highscores() const { return highscores_; }

    // The client's own status (a GamePlayer::PlayerStatus value; 0: not connected).
    int state() const { return session_.state; }
    bool isHost() const { return session_.isHost; }
    int ownConnId() const { return session_.ownConnId; }
    // The own connection's ping in a ping list, when the server measured one.
    std::optional<int> ownPing(const PayloadCodec::PingList& list) const;
    int hostKey() const { return hostKey_; }
    QHostAddress serverAddress() const { return serverAddress_; }
    int serverPort() const { return serverPort_; }
    bool hasServer() const { return serverThread_ != nullptr; }
    // The own server's answer from the router (Off when there is none).
    const PortMapping& portMapping() const { return session_.portMapping; }
    const SeatKeeper& seats() const { return seats_; }
    // The joined games' replays, kept as their servers hand them out.
    const ReplayInbox& replays() const { return replays_; }

public Q_SLOTS:
    // GUI: hosting, joining, leaving (the lobby's controls are ClientLobby's).
    void hostGame(HostRequest request);
    void joinGame(bool splitscreen, QString address, bool saveAddress, QString password);
    // Goes back into the seat of a game the program was in when it ended, if
    // its server may still keep it; false when there is none.
    bool resumeSeat();
    // The host of the own server seats a computer player in the lobby.
    void addComputer();
    void abortAction();
    void endGame();
    void endProgramm();
    // GUI: the ten key counters. The copy moves the own blocks first, so the
    // press shows in the next frame; then they go to the server.
    void inputKeys(KeyInput keys);

    // GUI: options.
    // Everything but the colours, which setColors changes.
    void setOptions(ClientSettings::Options options);
    void setColors(int color1, int color2);
    void setLastFilter(int filter);

    // Game connections.
    void processConnectionEstablished(int connId, bool isAuthed);
    void processConnectionClosed(int connId);
    void processServerShutdown(int connId);
    void processConnectionError(int connId, ConnectionInterface::ConnectionError error);
    void updatePlayerlist(const PayloadCodec::PlayerList& list);
    void processPlayerDisconnect(int connId);
    void processPlayerKick(int connId);

    // The browser: the join's probe and the hosted game's master check.
    void processProbeAnswered(ServerData server);
    void processProbeFailed();
    void processInviteFailed(ServerBrowser::InviteFailure failure);
    void processMasterChecked(bool reached);

Q_SIGNALS:
    // The server's lists as they came: statuses read with GamePlayer::statusFromInt.
    void changedPlayerlist(PayloadCodec::PlayerList list);
    void changedPinglist(PayloadCodec::PingList list);
    void removePlayer(int connId);

private:
    Client(ClientConnections connections, ServerStarter serverStarter, Environment environment,
           QObject* parent);

    void stopServerThread();
    // The field copy hears the game and the ping list; its losses are asked for again.
    void connectField();
    void processPortMapping(const PortMapping& mapping);
    void processInvite(const PayloadCodec::RegistrationAnswer& invite);
    void showReachability();
    void closeGameConnections();
    void connectToServer();
    // A public game whose master server did not answer: others can only join
    // by address.
    void hostWithoutMaster();
    void saveOptions();
    // Removes a connection's players from the table with one chat line each.
    void dropPlayers(int connId, bool kicked);
    // An attempt that failed before the game: error, then the previous screen.
    void returnToLastScreen(const QString& error);
    // The join's server is known: probe it, or say it cannot be found.
    void probeServer();
    // The address as the player gave it becomes the one joined; returns the
    // host name to look up, empty when there is none.
    QString takeAddress(const QString& address, bool saveAddress);
    // Finds the server of the address taken: by its invite code, its name or at once.
    void findServer(const QString& host);
    // Coming back after a drop: the game stays on screen while the way in is
    // tried again, until the server no longer keeps the seat.
    bool mayRejoin() const;
    void startRejoin(bool onScreen);
    void attemptRejoin();
    // An attempt failed: another one later, or none when the seat is gone.
    void rejoinFailed(bool seatGone);
    // An attempt given up: the chat is cleared and the screen before it returns.
    void backToLastScreen();
    // Asks both game connections to say goodbye; the rest follows their closing.
    void disconnectGracefully();
    void quit();

    bool connected() const { return tcpEstablished_ || udpEstablished_; }
    // A punched way that did not come through: the next way of the invite
    // is tried instead. False when there is none (or the way was not punched).
    bool tryNextWay();
    // The way in is the player's own again: an address, or the host's game.
    void forgetWay();
    QString serverLabel() const;

    ServerStarter serverStarter_;
    Environment environment_;
    ClientSettings settings_;
    HighscoreFile highscores_;
    ClientSession session_;
    ClientScreen screen_;

    std::unique_ptr<EmbeddedServer> serverThread_;
    EndMode endMode_ = EndMode::Stay;
    int hostKey_ = -1;
    QHostAddress serverAddress_;
    int serverPort_ = 27403;  // the stream's
    int datagramPort_ = 0;    // the datagrams' when it differs: relayed or punched
    JoinWay::Kind way_ = JoinWay::Kind::Direct;
    int localPort_ = 0;  // where a punched way is joined from
    // A punched stream that is not through by then goes the next way.
    QTimer punchTimer_;
    static constexpr int kPunchedStreamMs = 3000;
    QString addressText_;                // the address as the player typed it
    std::optional<QString> inviteCode_;  // the join is by this invite code
    int lookups_ = 0;  // joins that looked a name up; a newer one or an abort ends the older
    bool resolving_ = false;
    QString connectPassword_;
    bool tcpEstablished_ = false;
    bool udpEstablished_ = false;
    int streamClientId_ = -1;  // the id the stream's hello got
    SeatKeeper seats_;
    ReplayInbox replays_;
    QTimer silence_;  // in a game: the server has not been heard for a while

    ClientConnection* tcpConnection_;  // children
    ClientConnection* udpConnection_;
    ServerBrowser browser_;
    ClientChannels channels_;
    ClientGame game_;
    ClientLobby lobby_;
    ClientField field_;
};
