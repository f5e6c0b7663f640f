#include "client.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>

#include "game/appinfo.h"
#include "game/playernames.h"
#include "network/fieldimage.h"
#include "network/masterserversettings.h"
#include "server/serversettings.h"

Q_LOGGING_CATEGORY(lcClient, "quadrell.client", QtWarningMsg)

namespace {

const QString kParagraph = QStringLiteral("\n\n");
// The password screen's retry: join the address of the previous attempt again.
const QString kUseOldAddress = QStringLiteral("USEOLDONE");

}  // namespace

Client::Client(Environment environment, const ClientNetwork& network, QObject* parent)
    // environment is copied, not moved: the starter reads its directory while
    // the arguments are being made.
    : Client(makeStreamConnection(network.timings).release(),
             makeDatagramConnection(network).release(),
             makeMasterConnection(network.timings).release(),
             threadServerStarter(network, environment.directory), environment, parent) {}

Client::Client(ClientConnection* tcpConnection, ClientConnection* udpConnection,
               MasterConnection* masterConnection, ServerStarter serverStarter,
               Environment environment, QObject* parent)
    : QObject(parent),
      serverStarter_(std::move(serverStarter)),
      environment_(std::move(environment)),
      settings_(environment_.directory),
      highscores_(environment_.highscoreDirectory.isEmpty() ? environment_.directory
                                                            : environment_.highscoreDirectory,
                  environment_.now),
      tcpConnection_(tcpConnection),
      udpConnection_(udpConnection),
      masterConnection_(masterConnection) {
    if (!environment_.quit) {
        environment_.quit = [](int code) { QCoreApplication::exit(code); };
    }
    if (!environment_.newHostKey) {
        environment_.newHostKey = &drawHostKey;
    }
    for (auto& row : playerStatus_) {
        row.fill(GamePlayer::Empty);
    }

    const MasterserverSettings masterFile = MasterserverSettings::load(environment_.directory);
    masterAddress_ = masterFile.address;
    masterPort_ = masterFile.port;

    for (ConnectionInterface* c : std::initializer_list<ConnectionInterface*>{
             tcpConnection_, udpConnection_, masterConnection_}) {
        c->setParent(this);
    }

    ConnectionInterface* tcp = tcpConnection_;
    connect(tcp, &ConnectionInterface::changedCPlayerlist, this, &Client::updatePlayerlist);
    connect(tcp, &ConnectionInterface::changedCGameRestart, this, &Client::processGameRestart);
    connect(tcp, &ConnectionInterface::changedCPause, this, &Client::processGamePause);
    connect(tcp, &ConnectionInterface::changedCGameOver, this, &Client::processGameOver);
    connect(tcp, &ConnectionInterface::changedCPlayerDisconnect, this,
            &Client::processPlayerDisconnect);
    connect(tcp, &ConnectionInterface::changedCPlayerKick, this, &Client::processPlayerKick);

    ConnectionInterface* udp = udpConnection_;
    connect(udp, &ConnectionInterface::changedCPinglist, this, &Client::updatePinglist);
    connect(udp, &ConnectionInterface::changedCMessage, this, &Client::processMessage);
    connect(udp, &ConnectionInterface::changedCGameStart, this, &Client::processGameStart);
    connect(udp, &ConnectionInterface::changedCGameState, this, &Client::processGameState);
    connect(udp, &ConnectionInterface::changedCNewBlock, this, &Client::processNewBlock);
    connect(udp, &ConnectionInterface::changedCMoveBlocks, this, &Client::processMoveBlocks);
    connect(udp, &ConnectionInterface::changedCMergeBlocks, this, &Client::processMergeBlocks);

    for (ConnectionInterface* c : {tcp, udp}) {
        connect(c, &ConnectionInterface::connectionEstablished, this,
                &Client::processConnectionEstablished);
        connect(c, &ConnectionInterface::connectionClosed, this, &Client::processConnectionClosed);
        connect(c, &ConnectionInterface::serverShutdown, this, &Client::processServerShutdown);
        connect(c, &ConnectionInterface::errorOccured, this, &Client::processConnectionError);
    }

    ConnectionInterface* master = masterConnection_;
    connect(master, &ConnectionInterface::changedCNewServer, this, &Client::processNewServer);
    connect(master, &ConnectionInterface::masterserverResult, this,
            &Client::processMasterserverResult);
    connect(master, &ConnectionInterface::masterserverOnline, this, &Client::processMasterReached);
    connect(master, &ConnectionInterface::errorOccured, this,
            &Client::processMasterConnectionError);
}

Client::~Client() {
    // The connections die with us; nothing they say on the way out matters.
    for (ConnectionInterface* c : std::initializer_list<ConnectionInterface*>{
             tcpConnection_, udpConnection_, masterConnection_}) {
        c->disconnect(this);
    }
    stopServerThread();
}

// ---------------------------------------------------------------------------
// Shared steps

void Client::stopServerThread() {
    serverThread_.reset();
}

void Client::closeGameConnections() {
    tcpConnection_->disconnectClient(-1, true);
    udpConnection_->disconnectClient(-1, true);
    tcpEstablished_ = false;
    udpEstablished_ = false;
    state_ = GamePlayer::Empty;
}

void Client::connectToServer(const QHostAddress& address, int port, int key,
                             const QString& password) {
    state_ = GamePlayer::Connecting;
    lastResult_ = -1;
    endMode_ = 0;
    tcpEstablished_ = false;
    udpEstablished_ = false;
    // A countdown of an earlier game must not hold back the lobby texts.
    countdownRunning_ = false;
    countdownIsStart_ = false;
    readyBeforeMenu_ = false;
    for (auto& row : playerNames_) {
        row.fill(QString());
    }
    qCDebug(lcClient) << "connecting to" << address << port << "host key" << (key >= 0);
    tcpConnection_->connectWithHello(address, port, splitscreen_ ? 2 : 1, key,
                                     password.isNull() ? QString(QLatin1String("")) : password, -1);
}

void Client::sendPlayers() {
    const ClientSettings::Options& o = settings_.options;
    tcpConnection_->sendCPlayers(true, {o.name1, splitscreen_ ? o.name2 : QString()},
                                 {o.color1, splitscreen_ ? o.color2 : -1},
                                 {state_, splitscreen_ ? state_ : -1});
}

QString Client::serverLabel() const {
    // An address that did not parse has no text of its own: show what was typed.
    const QString host = serverAddress_.isNull() && !addressText_.isEmpty()
                             ? addressText_.section(QLatin1Char(':'), 0, 0)
                             : serverAddress_.toString();
    return host + QLatin1Char(':') + QString::number(serverPort_);
}

QString Client::newGameHint() const {
    return tr("Press 'r' for a new game.");
}

QString Client::readyHint() const {
    return splitscreen_ ? tr("Press 'r' when both players are ready.")
                        : tr("Press 'r' when you are ready.");
}

void Client::returnToLastScreen(const QString& error) {
    Q_EMIT displayError(error, false);
    Q_EMIT setGuiBaseState(GuiState::NoState, QString());
    Q_EMIT setGuiLastState();
}

void Client::backToLastScreen() {
    Q_EMIT resetChat();
    Q_EMIT setGuiBaseState(GuiState::NoState, QString());
    Q_EMIT setGuiLastState();
}

void Client::quit() {
    environment_.quit(0);
}

// ---------------------------------------------------------------------------
// Hosting and joining

void Client::hostGame(HostRequest request) {
    const ClientSettings::Hosting& r = request.hosting;
    const QString serverName = PlayerNames::sanitisedServerName(r.name);
    const QString& password = r.password;
    const int port = r.port;
    const int maxPlayers = r.maxPlayers;
    const bool singleplayer = request.singleplayer;
    const bool splitscreen = request.splitscreen;
    const bool stats = r.ranked;
    const bool usePassword = r.usePassword;
    if (!singleplayer) {
        ClientSettings::Hosting& h = settings_.hosting;
        h.name = serverName;
        h.ranked = stats;
        h.usePassword = usePassword;
        h.password = password.mid(1);  // without the GUI's marker character
        h.maxPlayers = maxPlayers;
        h.port = port;
        if (!settings_.saveServerSettings()) {
            Q_EMIT displayError(tr("The server settings could not be saved and will be reset at "
                                   "the next start."),
                                false);
        }
    }

    hostKey_ = environment_.newHostKey();
    serverAddress_ = QHostAddress(QHostAddress::LocalHost);
    serverPort_ = port;
    addressText_.clear();
    connectPassword_ = password;
    maxPlayers_ = maxPlayers;
    singleplayer_ = singleplayer;
    splitscreen_ = splitscreen;
    probing_ = false;

    Q_EMIT setGuiBaseState(GuiState::NoState, tr("Starting server..."));

    ServerSettings host;
    host.name = serverName;
    host.port = port;
    host.maxPlayers = maxPlayers;
    host.singleplayer = singleplayer;
    host.stats = stats;
    host.hostKey = hostKey_;
    host.usePassword = usePassword;
    host.password = usePassword ? password : QString();
    stopServerThread();
    serverThread_ = serverStarter_ ? serverStarter_(host) : nullptr;
    if (!serverThread_) {
        returnToLastScreen(tr("The connection could not be initialized."));
        return;
    }
    serverPort_ = serverThread_->port();

    if (singleplayer) {
        connectToServer(serverAddress_, serverPort_, hostKey_, connectPassword_);
    } else if (masterAddress_.isNull()) {
        hostWithoutMaster();
    } else {
        if (!masterConnected_) {
            masterConnection_->connectToHost(masterAddress_, masterPort_);
            masterConnected_ = true;
        }
        masterConnection_->sendMasterTest(true);
    }
}

void Client::hostWithoutMaster() {
    Q_EMIT displayError(tr("Starting server...") + kParagraph +
                            tr("The masterserver could not be reached. Other players can "
                               "only connect to you directly."),
                        false);
    connectToServer(serverAddress_, serverPort_, hostKey_, connectPassword_);
}

void Client::processMasterReached(int /*connId*/) {
    // A late second answer must not open a second connection.
    if (serverThread_ && !connected() && state_ == GamePlayer::Empty) {
        connectToServer(serverAddress_, serverPort_, hostKey_, connectPassword_);
    }
}

void Client::processMasterConnectionError(int /*connId*/,
                                          ConnectionInterface::ConnectionError /*error*/) {
    masterConnected_ = false;
    if (connected()) {
        return;
    }
    if (probing_) {
        probing_ = false;
        Q_EMIT displayError(tr("The server '%1' could not be found.").arg(serverLabel()), false);
        backToLastScreen();
    } else if (serverThread_) {
        if (state_ != GamePlayer::Empty) {
            return;  // already on the way to the own server
        }
        hostWithoutMaster();
    } else {
        Q_EMIT resultMasterserver(MasterserverResult::MasterUnreachable);
    }
}

void Client::getServerlist() {
    if (masterAddress_.isNull()) {
        Q_EMIT resultMasterserver(MasterserverResult::MasterUnreachable);
        return;
    }
    if (!masterConnected_) {
        masterConnection_->connectToHost(masterAddress_, masterPort_);
        masterConnected_ = true;
    }
    masterConnection_->requestServerlist(true);
}

void Client::processMasterserverResult(int /*connId*/, MasterserverResult result) {
    Q_EMIT resultMasterserver(result);
}

void Client::joinGame(bool splitscreen, QString address, bool saveAddress, QString password) {
    hostKey_ = -1;
    connectPassword_ = password;
    if (address != kUseOldAddress) {
        addressText_ = address;
        QString host = address;
        int port = Quadrell::kDefaultGamePort;
        const qsizetype colon = address.indexOf(QLatin1Char(':'));
        bool portOk = true;
        if (colon >= 0) {
            host = address.left(colon);
            port = address.mid(colon + 1).toInt(&portOk);
            portOk = portOk && port > 0 && port <= 65535;
        }
        // Numeric only: a host name is never looked up here.
        serverAddress_ = portOk ? QHostAddress(host) : QHostAddress();
        serverPort_ = port;
        if (saveAddress) {
            settings_.cache.ip = address;
            settings_.saveCache();
        }
    }
    singleplayer_ = false;
    splitscreen_ = splitscreen;

    Q_EMIT setGuiBaseState(GuiState::NoState, tr("Connecting to %1...").arg(addressText_) +
                                                  kParagraph + tr("Press 'ESC' to abort."));

    if (serverAddress_.isNull()) {
        returnToLastScreen(tr("The server '%1' could not be found.").arg(serverLabel()));
        return;
    }
    probing_ = true;
    masterConnection_->queryServer(serverAddress_, serverPort_);
}

void Client::processNewServer(int /*connId*/, ServerData entry) {
    // Answers of server-list probes may still come in while a join probes its
    // server; only the probed server's answer continues the join.
    const bool probed =
        probing_ && entry.port() == serverPort_ && QHostAddress(entry.address()) == serverAddress_;
    if (!probed) {
        Q_EMIT newServer(entry);
        return;
    }
    probing_ = false;
    if (entry.version() != QLatin1String(Quadrell::kVersion)) {
        Q_EMIT displayError(tr("The server '%1' requires version '%2' of the game.")
                                .arg(serverLabel(), entry.version()),
                            false);
        backToLastScreen();
    } else if (entry.hasPassword() && connectPassword_.isEmpty()) {
        Q_EMIT resetChat();
        Q_EMIT setGuiTopState(GuiState::PasswordMenu, QString());
    } else {
        maxPlayers_ = entry.maxPlayers();
        connectToServer(serverAddress_, serverPort_, hostKey_, connectPassword_);
    }
}

void Client::processConnectionEstablished(int connId, bool isAuthed) {
    if ((tcpEstablished_ && udpEstablished_) || state_ != GamePlayer::Connecting) {
        return;
    }
    const QObject* from = sender();
    if (from == tcpConnection_ && !tcpEstablished_) {
        tcpEstablished_ = true;
        // The datagram side opens only now, asking for the id the stream got.
        udpConnection_->connectWithHello(serverAddress_, serverPort_, splitscreen_ ? 2 : 1,
                                         hostKey_, connectPassword_, connId);
    } else if (from == udpConnection_ && tcpEstablished_) {
        udpEstablished_ = true;
    }
    if (!(tcpEstablished_ && udpEstablished_)) {
        return;
    }
    state_ = GamePlayer::Waiting;
    isHost_ = isAuthed;
    ownConnId_ = connId;
    qCDebug(lcClient) << "connected as" << connId << (isAuthed ? "host" : "guest");
    Q_EMIT resetGui(true, maxPlayers_, splitscreen_, isHost_, false, connId);
    Q_EMIT setGuiBaseState(GuiState::Lobby, readyHint());
    sendPlayers();
}

// ---------------------------------------------------------------------------
// Lobby and game controls

void Client::setReady() {
    if (state_ == GamePlayer::Waiting) {
        state_ = GamePlayer::Ready;
        sendPlayers();
        lastResult_ = -1;
    } else if (state_ == GamePlayer::Ready ||
               (state_ == GamePlayer::Playing && countdownRunning_ && countdownIsStart_)) {
        state_ = GamePlayer::Waiting;
        sendPlayers();
    }
}

void Client::setStart() {
    if (state_ == GamePlayer::Empty || state_ == GamePlayer::Playing ||
        state_ == GamePlayer::Pausing) {
        return;
    }
    if (singleplayer_) {
        state_ = GamePlayer::Ready;
        sendPlayers();
        lastResult_ = -1;
    }
    tcpConnection_->sendCStart(true);
}

void Client::setMenuOpen(bool open) {
    menuOpen_ = open;
    if (open) {
        if (state_ == GamePlayer::Playing || countdownRunning_) {
            tcpConnection_->sendCPause(true);
        } else if (state_ == GamePlayer::Ready) {
            readyBeforeMenu_ = true;
            setReady();
        } else if (state_ == GamePlayer::Waiting) {
            readyBeforeMenu_ = false;
        }
    } else if (state_ == GamePlayer::Pausing) {
        tcpConnection_->sendCPause(true);
    } else if (readyBeforeMenu_) {
        readyBeforeMenu_ = false;
        setReady();
    }
}

void Client::restartGame() {
    if (state_ == GamePlayer::Playing || state_ == GamePlayer::Pausing) {
        tcpConnection_->sendCRestart(true);
    }
}

void Client::kickPlayer(int id) {
    if (state_ >= GamePlayer::Waiting) {
        tcpConnection_->sendCKick(true, id);
    }
}

void Client::processGameStart(int /*connId*/, int fieldsizeX, int countDown) {
    fieldsizeX_ = fieldsizeX;
    countDown_ = countDown;
    if (countDown == 0) {
        countdownRunning_ = false;
        lastResult_ = -1;
        state_ = GamePlayer::Playing;
        Q_EMIT displayCountdown(QString());
        Q_EMIT startPlayTime();
        return;
    }
    if (!countdownRunning_) {
        countdownRunning_ = true;
        countdownIsStart_ = true;
        Q_EMIT changeFieldsizeX(fieldsizeX);
        Q_EMIT resetGui(false, maxPlayers_, splitscreen_, isHost_, false, ownConnId_);
        Q_EMIT setGuiBaseState(GuiState::Game, state_ == GamePlayer::Spectating
                                                   ? tr("Waiting for other game to finish...")
                                                   : QString());
    }
    Q_EMIT displayCountdown(tr("Starting in") + QLatin1Char(' ') + QString::number(countDown) +
                            QStringLiteral("..."));
}

void Client::processGamePause(int connId, int countDown) {
    countDown_ = countDown;
    if (countDown == -1) {
        countdownRunning_ = false;
        if (connId == ownConnId_) {
            state_ = GamePlayer::Pausing;
        }
        Q_EMIT setGuiBaseState(GuiState::Game, tr("Game paused..."));
        Q_EMIT pausePlayTime(true);
    } else if (countDown == 0) {
        countdownRunning_ = false;
        if (connId == ownConnId_) {
            state_ = GamePlayer::Playing;
        }
        Q_EMIT displayCountdown(QString());
        Q_EMIT pausePlayTime(false);
    } else {
        if (!countdownRunning_) {
            countdownRunning_ = true;
            countdownIsStart_ = false;
            Q_EMIT setGuiBaseState(GuiState::Game, state_ == GamePlayer::Spectating
                                                       ? tr("Waiting for other game to finish...")
                                                       : QString());
        }
        Q_EMIT displayCountdown(tr("Resuming in") + QLatin1Char(' ') + QString::number(countDown) +
                                QStringLiteral("..."));
    }
}

void Client::processGameRestart(int /*connId*/) {
    state_ = GamePlayer::Waiting;
    countDown_ = 0;
    Q_EMIT stopPlayTime();
    Q_EMIT setRotation(true);
    Q_EMIT displayCountdown(QString());
    if (!countdownRunning_) {
        lastResult_ = -2;
        Q_EMIT setGuiBaseState(GuiState::Lobby,
                               tr("Game restarted by the server.") + kParagraph + newGameHint());
    } else {
        // The start was called off: somebody is no longer Ready.
        lastResult_ = -3;
        countdownRunning_ = false;
        Q_EMIT setGuiBaseState(GuiState::Lobby, tr("Start abortet.") + kParagraph + newGameHint());
    }
}

void Client::processGameOver(int score, int lines, QString playtime) {
    if (state_ != GamePlayer::Spectating) {
        saveHighscore(score, lines, playtime);
    }
    state_ = GamePlayer::Waiting;
    lastResult_ = score;
    Q_EMIT stopPlayTime();
    Q_EMIT setRotation(true);
    Q_EMIT setScore(score, false);
    Q_EMIT setPlaytime(playtime, false);
    Q_EMIT setGuiBaseState(
        GuiState::Game, tr("GAME OVER (%n Point(s))", nullptr, score) + kParagraph + newGameHint());
    Q_EMIT gameOver(score, lines, playtime);
}

void Client::saveHighscore(int score, int lines, const QString& playtime) {
    QStringList names;
    for (int id = 0; id < kConnIds; ++id) {
        for (int slot = 0; slot < kLocalSlots; ++slot) {
            const int status = playerStatus_[id][slot];
            if (!playerNames_[id][slot].isEmpty() &&
                (status == GamePlayer::Playing || status == GamePlayer::Pausing)) {
                names.append(playerNames_[id][slot]);
            }
        }
    }
    // A line without players could never be read back.
    if (names.isEmpty() || names.size() > HighscoreFile::kMaxPlayers) {
        return;
    }
    if (!highscores_.append(score, lines, playtime, names)) {
        Q_EMIT displayError(tr("The highcore could not be saved locally."), false);
    }
}

// ---------------------------------------------------------------------------
// Game events

void Client::inputKeys(QList<int> keys) {
    if (state_ != GamePlayer::Empty) {
        udpConnection_->sendCInput(false, keys);
    }
}

void Client::sendMessage(int playerNr, QString message) {
    udpConnection_->sendCMessage(true, playerNr, message);
}

void Client::processPacketLoss() {
    udpConnection_->requestResend();
}

void Client::processNewBlock(int blockId, int color, int kind, int xPos, int yPos, int rot) {
    Q_EMIT createdNewBlock(BlockRecord{blockId, color, kind, xPos, yPos, rot}, fieldsizeX_);
}

void Client::processMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds) {
    Q_EMIT moveBlocks(movements, activeBlockIds);
}

void Client::processMergeBlocks(QList<GameMovement> movements) {
    Q_EMIT mergeBlocks(movements);
}

void Client::processGameState(int fieldsizeX, bool paused, int score, QString playtime,
                              QByteArray field, QList<BlockRecord> blocks) {
    fieldsizeX_ = fieldsizeX;
    Q_EMIT changeFieldsizeX(fieldsizeX);
    Q_EMIT resetGui(false, maxPlayers_, splitscreen_, isHost_, true, ownConnId_);
    Q_EMIT setGuiBaseState(GuiState::Game, tr("Waiting for other game to finish..."));
    Q_EMIT startPlayTime();
    Q_EMIT setRotation(true);
    Q_EMIT setScore(score, true);
    Q_EMIT setPlaytime(playtime, true);

    const std::vector<FieldCell> landed = FieldImage::unpack(field, fieldsizeX);
    Q_EMIT createdField(fieldsizeX, QList<FieldCell>(landed.begin(), landed.end()));
    for (const BlockRecord& block : blocks) {
        Q_EMIT createdNewBlock(block, fieldsizeX);
    }

    if (paused) {
        processGamePause(-1, -1);
    }
}

void Client::updatePlayerlist(QList<int> connIds, QStringList names, QList<int> colors,
                              QList<int> statusInt) {
    QList<GamePlayer::PlayerStatus> status;
    status.reserve(statusInt.size());
    for (int s : statusInt) {
        status.append(GamePlayer::statusFromInt(s));
    }

    const auto before = playerNames_;
    bool allEmpty = true;
    for (const auto& row : before) {
        for (const QString& name : row) {
            allEmpty = allEmpty && name.isEmpty();
        }
    }
    for (auto& row : playerNames_) {
        row.fill(QString());
    }

    const qsizetype entries = std::min({connIds.size(), names.size(), status.size()});
    for (qsizetype i = 0; i < entries; ++i) {
        const int id = connIds.at(i);
        if (id < 0 || id >= kConnIds) {
            continue;  // a free place, or an id the table has no row for
        }
        int slot = 0;
        if (!playerNames_[id][0].isEmpty()) {
            slot = playerNames_[id][1].isEmpty() ? 1 : -1;
        }
        if (slot < 0) {
            continue;
        }
        playerNames_[id][slot] = names.at(i);
        playerStatus_[id][slot] = status.at(i);
        if (before[id][slot].isEmpty() && id != ownConnId_ && !allEmpty) {
            Q_EMIT displayChatMessage(-3, tr("%1 has joined the game.").arg(names.at(i)));
        }
        if (id == ownConnId_ && (state_ == GamePlayer::Waiting || state_ == GamePlayer::Ready)) {
            state_ = status.at(i);
        }
    }

    Q_EMIT changedPlayerlist(connIds, names, colors, status);

    if ((state_ == GamePlayer::Waiting || state_ == GamePlayer::Ready) && !countdownRunning_) {
        setLobbyText();
    }
}

void Client::setLobbyText() {
    QString text;
    if (!singleplayer_ && state_ == GamePlayer::Ready) {
        bool someoneWaiting = false;
        for (int id = 0; id < kConnIds; ++id) {
            for (int slot = 0; slot < kLocalSlots; ++slot) {
                someoneWaiting = someoneWaiting || (!playerNames_[id][slot].isEmpty() &&
                                                    playerStatus_[id][slot] == GamePlayer::Waiting);
            }
        }
        if (someoneWaiting) {
            text = tr("Waiting for other players...");
        } else if (isHost_) {
            text = tr("Press 's' to start the game.") + kParagraph +
                   tr("Press 'r' if you are not ready anymore.");
        } else {
            text = tr("Waiting for the server to start the game...") + kParagraph +
                   tr("Press 'r' if you are not ready anymore.");
        }
    } else if (lastResult_ == -1) {
        text = readyHint();
    } else if (lastResult_ == -2) {
        text = tr("Game restarted by the server.") + kParagraph + newGameHint();
    } else if (lastResult_ == -3) {
        text = tr("Start abortet.") + kParagraph + newGameHint();
    } else {
        text = tr("GAME OVER (%n Point(s))", nullptr, lastResult_) + kParagraph + newGameHint();
    }
    Q_EMIT setGuiBaseState(GuiState::Lobby, text);
}

void Client::updatePinglist(QList<int> connIds, QList<int> pings) {
    Q_EMIT changedPinglist(connIds, pings);
}

void Client::processMessage(int playerId, QString message) {
    if (playerId == -1) {
        Q_EMIT displayChatMessage(-1, tr("Stats successfully uploaded."));
    } else if (playerId == -2) {
        Q_EMIT displayChatMessage(-2, tr("The stats could not be sended."));
    } else {
        Q_EMIT displayChatMessage(playerId, message);
    }
}

void Client::dropPlayers(int connId, bool kicked) {
    if (connId < 0 || connId >= kConnIds) {
        return;
    }
    Q_EMIT removePlayer(connId);
    for (QString& name : playerNames_[connId]) {
        if (!name.isEmpty()) {
            Q_EMIT displayChatMessage(-4, kicked ? tr("%1 was kicked by the server.").arg(name)
                                                 : tr("%1 has left the game.").arg(name));
        }
        name.clear();
    }
}

void Client::processPlayerDisconnect(int connId) {
    dropPlayers(connId, false);
}

void Client::processPlayerKick(int connId) {
    if (connId != ownConnId_ || !connected()) {
        dropPlayers(connId, true);
        return;
    }
    closeGameConnections();
    stopServerThread();
    if (endMode_ == 2) {
        quit();
        return;
    }
    Q_EMIT displayError(tr("You have been kicked by the server."), true);
    Q_EMIT resetChat();
}

// ---------------------------------------------------------------------------
// Leaving

void Client::abortAction() {
    if (state_ == GamePlayer::Connecting) {
        closeGameConnections();
        stopServerThread();
    } else if (probing_) {
        probing_ = false;
    } else if (state_ == GamePlayer::Empty && serverThread_) {
        // Still waiting for the master check of a hosted game.
        stopServerThread();
    } else {
        return;
    }
    backToLastScreen();
}

void Client::endGame() {
    endMode_ = 1;
    abortAction();
    if (state_ != GamePlayer::Empty) {
        Q_EMIT setGuiBaseState(GuiState::Notice, tr("Disconnecting..."));
        tcpConnection_->disconnectClient(-1, false);
        udpConnection_->disconnectClient(-1, false);
    } else {
        stopServerThread();
        Q_EMIT resetChat();
        Q_EMIT setGuiBaseState(GuiState::MainMenu, QString());
    }
}

void Client::endProgramm() {
    endMode_ = 2;
    abortAction();
    if (masterConnected_) {
        masterConnection_->disconnectClient(-1, true);
        masterConnected_ = false;
    }
    if (state_ == GamePlayer::Empty) {
        stopServerThread();
        quit();
    } else {
        Q_EMIT setGuiBaseState(GuiState::Notice, tr("Disconnecting..."));
        tcpConnection_->disconnectClient(-1, false);
        udpConnection_->disconnectClient(-1, false);
    }
}

void Client::processConnectionClosed(int connId) {
    if (!connected()) {
        return;
    }
    qCDebug(lcClient) << "connection closed" << connId << "end mode" << endMode_;
    closeGameConnections();
    if (endMode_ == 1) {
        Q_EMIT resetChat();
        Q_EMIT setGuiBaseState(GuiState::MainMenu, QString());
        stopServerThread();
    } else if (endMode_ == 2) {
        stopServerThread();
        quit();
    } else {
        // The server ended the connection without being asked: the game is gone.
        stopServerThread();
        Q_EMIT displayError(tr("The connection to the server was lost."), true);
        Q_EMIT resetChat();
    }
}

void Client::processServerShutdown(int connId) {
    if (!connected()) {
        return;
    }
    qCDebug(lcClient) << "server shut down by" << connId;
    closeGameConnections();
    if (endMode_ == 2) {
        // Whoever shut the server down, the program was about to end anyway.
        stopServerThread();
        quit();
    } else if (isHost_ && endMode_ == 1) {
        Q_EMIT resetChat();
        Q_EMIT setGuiBaseState(GuiState::MainMenu, QString());
        stopServerThread();
    } else {
        stopServerThread();
        Q_EMIT displayError(tr("The server was shut down."), true);
        Q_EMIT resetChat();
    }
}

void Client::processConnectionError(int /*connId*/, ConnectionInterface::ConnectionError error) {
    if (state_ != GamePlayer::Connecting && !connected()) {
        return;
    }
    qCDebug(lcClient) << "connection error" << error;
    closeGameConnections();
    stopServerThread();
    state_ = GamePlayer::Empty;
    if (endMode_ == 2) {
        quit();
        return;
    }
    Q_EMIT resetChat();
    switch (error) {
        case ConnectionInterface::InitError:
            returnToLastScreen(tr("The connection could not be initialized."));
            break;
        case ConnectionInterface::HostNotFound:
        case ConnectionInterface::Refused:
            returnToLastScreen(tr("The server '%1' could not be found.").arg(serverLabel()));
            break;
        case ConnectionInterface::ServerFull:
            returnToLastScreen(tr("The server '%1' is already full.").arg(serverLabel()));
            break;
        case ConnectionInterface::WrongPassword:
            returnToLastScreen(
                tr("The server '%1' did not accept your password.").arg(serverLabel()));
            break;
        case ConnectionInterface::ConnectionLost:
        case ConnectionInterface::Timeout:
        case ConnectionInterface::PacketLoss:
            Q_EMIT displayError(tr("The connection to the server was lost."), true);
            break;
    }
}

// ---------------------------------------------------------------------------
// Options

void Client::saveOptions() {
    if (!settings_.saveOptions()) {
        Q_EMIT displayError(
            tr("The options could not be saved and will be reset at the next start."), false);
    }
}

void Client::setOptions(ClientSettings::Options options) {
    ClientSettings::Options& o = settings_.options;
    options.color1 = o.color1;
    options.color2 = o.color2;
    o = std::move(options);
    o.name1 = PlayerNames::sanitised(o.name1, ClientSettings::defaultName(1));
    o.name2 = PlayerNames::sanitised(o.name2, ClientSettings::defaultName(2));
    if (state_ != GamePlayer::Empty) {
        sendPlayers();
    }
    saveOptions();
}

void Client::setColors(int color1, int color2) {
    settings_.options.color1 = color1;
    settings_.options.color2 = color2;
    saveOptions();
    if (state_ != GamePlayer::Empty) {
        sendPlayers();
    }
}

void Client::setLastFilter(int filter) {
    settings_.cache.filter = filter;
    settings_.saveCache();
}
