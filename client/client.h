#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

#include "client/clientnetwork.h"
#include "client/clientsettings.h"
#include "client/embeddedserver.h"
#include "client/guistate.h"
#include "client/highscorefile.h"
#include "game/blockrecords.h"
#include "game/gameblock.h"
#include "game/gameplayer.h"
#include "network/connectioninterface.h"
#include "network/serverdata.h"

// The one client of the program: hosts (its own server thread) or joins a
// game, follows the server's messages, keeps the player's own status and tells
// the GUI what to show. It knows the GUI only through its signals and slots.
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
    };

    // The game's client: socket connections and its own server in a thread of
    // its own, with the given timings.
    explicit Client(Environment environment = {}, const ClientNetwork& network = {},
                    QObject* parent = nullptr);
    // Takes the three connections (game stream, game datagram, master server and
    // probes) as children, and the way to start its own server when hosting.
    Client(ClientConnection* tcpConnection, ClientConnection* udpConnection,
           MasterConnection* masterConnection, ServerStarter serverStarter,
           Environment environment = {}, QObject* parent = nullptr);
    ~Client() override;

    // Saved options, hosting defaults and join cache, read by the GUI.
    const ClientSettings& settings() const { return settings_; }
    const HighscoreFile& highscores() const { return highscores_; }

    // The client's own status (a GamePlayer::PlayerStatus value; 0: not connected).
    int state() const { return state_; }
    bool isHost() const { return isHost_; }
    int ownConnId() const { return ownConnId_; }
    int hostKey() const { return hostKey_; }
    QHostAddress serverAddress() const { return serverAddress_; }
    int serverPort() const { return serverPort_; }
    bool hasServer() const { return serverThread_ != nullptr; }

public Q_SLOTS:
    // GUI: hosting, joining, lobby and game controls, leaving.
    void hostGame(HostRequest request);
    void joinGame(bool splitscreen, QString address, bool saveAddress, QString password);
    void setReady();
    void setStart();
    void setMenuOpen(bool open);
    void restartGame();
    void kickPlayer(int id);
    void abortAction();
    void endGame();
    void endProgramm();
    void getServerlist();

    // GUI: input, chat, loss notice.
    void inputKeys(QList<int> keys);
    void sendMessage(int playerNr, QString message);
    void processPacketLoss();

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
    void updatePlayerlist(QList<int> connIds, QStringList names, QList<int> colors,
                          QList<int> statusInt);
    void updatePinglist(QList<int> connIds, QList<int> pings);
    void processMessage(int playerId, QString message);
    void processGameStart(int connId, int fieldsizeX, int countDown);
    void processGamePause(int connId, int countDown);
    void processGameRestart(int connId);
    void processGameOver(int score, int lines, QString playtime);
    void processGameState(int fieldsizeX, bool paused, int score, QString playtime,
                          QByteArray field, QList<BlockRecord> blocks);
    void processNewBlock(int blockId, int color, int kind, int xPos, int yPos, int rot);
    void processMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds);
    void processMergeBlocks(QList<GameMovement> movements);
    void processPlayerDisconnect(int connId);
    void processPlayerKick(int connId);

    // Master connection (also the probe before joining).
    void processNewServer(int connId, ServerData server);
    void processMasterserverResult(int connId, MasterserverResult result);
    void processMasterReached(int connId);
    void processMasterConnectionError(int connId, ConnectionInterface::ConnectionError error);

Q_SIGNALS:
    void setGuiBaseState(GuiState state, QString message);
    void setGuiTopState(GuiState state, QString message);
    void setGuiLastState();
    void displayError(QString message, bool leaveGame);
    void displayMessage(QString message);
    void displayCountdown(QString message);
    void displayChatMessage(int playerId, QString message);
    void resetGui(bool resetPlayerNames, int mPlayers, bool splitscreen, bool host, bool spec,
                  int cId);
    void resetChat();
    void changeFieldsizeX(int fieldsizeX);
    void setRotation(bool rotate);
    void startPlayTime();
    void pausePlayTime(bool paused);
    void stopPlayTime();
    void setScore(int score, bool add);
    void setPlaytime(QString playtime, bool add);
    // A game ended: the server's figures, after the texts and values above.
    void gameOver(int score, int lines, QString playtime);
    void newServer(ServerData server);
    // The field copy's events: a block dealt on a field fieldsizeX wide (id 0
    // begins a new empty field), a late joiner's field with its landed boxes,
    // blocks moved, blocks landed.
    void createdNewBlock(BlockRecord block, int fieldsizeX);
    void createdField(int fieldsizeX, QList<FieldCell> landed);
    void moveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds);
    void mergeBlocks(QList<GameMovement> movements);
    void resultMasterserver(MasterserverResult result);
    void changedPlayerlist(QList<int> connIds, QStringList names, QList<int> colors,
                           QList<GamePlayer::PlayerStatus> status);
    void changedPinglist(QList<int> connIds, QList<int> pings);
    void removePlayer(int connId);

private:
    static constexpr int kConnIds = 4;
    static constexpr int kLocalSlots = 2;

    void stopServerThread();
    void closeGameConnections();
    void connectToServer(const QHostAddress& address, int port, int key, const QString& password);
    // A public game whose master server did not answer: others can only join
    // by address.
    void hostWithoutMaster();
    void sendPlayers();
    void saveOptions();
    void saveHighscore(int score, int lines, const QString& playtime);
    void setLobbyText();
    // Removes a connection's players from the table with one chat line each.
    void dropPlayers(int connId, bool kicked);
    // An attempt that failed before the game: error, then the previous screen.
    void returnToLastScreen(const QString& error);
    // An attempt given up: the chat is cleared and the screen before it returns.
    void backToLastScreen();
    void quit();

    bool connected() const { return tcpEstablished_ || udpEstablished_; }
    QString serverLabel() const;
    QString newGameHint() const;
    QString readyHint() const;

    ServerStarter serverStarter_;
    Environment environment_;

    std::unique_ptr<EmbeddedServer> serverThread_;
    int state_ = GamePlayer::Empty;
    int endMode_ = 0;  // 1: back to the main menu once disconnected, 2: quit then
    int hostKey_ = -1;
    QHostAddress serverAddress_;
    int serverPort_ = 27403;
    QString addressText_;  // the address as the player typed it
    bool probing_ = false;
    bool tcpEstablished_ = false;
    bool udpEstablished_ = false;
    bool countdownRunning_ = false;
    bool countdownIsStart_ = false;
    int countDown_ = -1;
    QString connectPassword_;
    ClientSettings settings_;
    HighscoreFile highscores_;
    std::array<std::array<int, kLocalSlots>, kConnIds> playerStatus_{};
    std::array<std::array<QString, kLocalSlots>, kConnIds> playerNames_;
    bool singleplayer_ = false;
    bool splitscreen_ = false;
    bool isHost_ = false;
    int maxPlayers_ = 4;
    int fieldsizeX_ = 12;
    int ownConnId_ = -1;
    bool readyBeforeMenu_ = false;
    bool menuOpen_ = false;
    int lastResult_ = -1;  // -1 none, -2 restarted, -3 start aborted, else the last score

    ClientConnection* tcpConnection_;
    ClientConnection* udpConnection_;
    MasterConnection* masterConnection_;
    QHostAddress masterAddress_;
    int masterPort_ = 27404;
    bool masterConnected_ = false;
};
