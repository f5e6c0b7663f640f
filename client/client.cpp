#include "client.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <algorithm>

#include "client/clienttexts.h"
#include "game/appinfo.h"
#include "game/playernames.h"
#include "network/endpoint.h"
#include "network/invitecode.h"
#include "network/joinaddress.h"
#include "network/masterserversettings.h"
#include "network/serversettings.h"
#include "portmap/reachability.h"

Q_LOGGING_CATEGORY(lcClient, "quadrell.client", QtWarningMsg)

namespace {

const QString kParagraph = QStringLiteral("\n\n");
// The password screen's retry: join the address of the previous attempt again.
const QString kUseOldAddress = QStringLiteral("USEOLDONE");

// Where highscore.dat lives: the seat and the joined games' replays go beside it.
QDir dataFolderOf(const Client::Environment& environment) {
    const QString folder = environment.highscoreDirectory.isEmpty()
                               ? environment.directory
                               : environment.highscoreDirectory;
    return QDir(folder.isEmpty() ? QDir::currentPath() : folder);
}

QString seatFileOf(const Client::Environment& environment) {
    return environment.seatFile.isEmpty()
               ? dataFolderOf(environment).filePath(QStringLiteral("seat.ini"))
               : environment.seatFile;
}

}  // namespace

Client::Client(Environment environment, const ClientNetwork& network, ServerStarter serverStarter,
               QObject* parent)
    : Client(makeClientConnections(network), std::move(serverStarter), std::move(environment),
             parent) {}

Client::Client(ClientConnections connections, ServerStarter serverStarter, Environment environment,
               QObject* parent)
    : Client(connections.stream.release(), connections.datagram.release(),
             connections.master.release(), std::move(serverStarter), std::move(environment),
             parent) {}

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
      seats_(seatFileOf(environment_), {}),
      replays_(dataFolderOf(environment_).filePath(QStringLiteral("replays")), environment_.now),
      tcpConnection_(tcpConnection),
      udpConnection_(udpConnection),
      browser_(masterConnection, MasterserverSettings::load(environment_.directory, false)),
      channels_(*tcpConnection, *udpConnection),
      game_(session_, channels_, highscores_, screen_),
      lobby_(session_, screen_, settings_, channels_) {
    if (!environment_.quit) {
        environment_.quit = [](int code) { QCoreApplication::exit(code); };
    }
    if (!environment_.newHostKey) {
        environment_.newHostKey = &drawHostKey;
    }
    if (!environment_.lookup) {
        environment_.lookup = systemHostLookup();
    }
    browser_.setHostLookup(environment_.lookup);

    ClientConnection* tcp = tcpConnection_;
    ClientConnection* udp = udpConnection_;
    for (ClientConnection* c : {tcp, udp}) {
        c->setParent(this);
        connect(c, &ConnectionInterface::connectionEstablished, this,
                &Client::processConnectionEstablished);
        connect(c, &ConnectionInterface::connectionClosed, this, &Client::processConnectionClosed);
        connect(c, &ClientConnection::serverShutdown, this, &Client::processServerShutdown);
        connect(c, &ConnectionInterface::errorOccured, this, &Client::processConnectionError);
    }
    connect(tcp, &ClientConnection::changedCPlayerlist, this, &Client::updatePlayerlist);
    connect(tcp, &ClientConnection::changedCPlayerDisconnect, this,
            &Client::processPlayerDisconnect);
    connect(tcp, &ClientConnection::changedCPlayerKick, this, &Client::processPlayerKick);
    connect(tcp, &ClientConnection::changedCSeatToken, this, [this](const QString& token) {
        // The own server goes with the program: there is nothing to come back to.
        if (!session_.ownServer && streamClientId_ >= 0) {
            seats_.keep({addressText_, streamClientId_, session_.splitscreen ? 2 : 1, token});
        }
    });
    connect(&seats_, &SeatKeeper::retry, this, &Client::attemptRejoin);
    // The own server keeps its games itself; a joined one hands its replay out.
    connect(&game_, &ClientGame::gameOver, this, [this](int score) {
        if (!session_.ownServer) {
            replays_.expect(score);
            tcpConnection_->sendCReplayRequest();
            qCDebug(lcClient) << "asked for the replay";
        }
    });
    connect(tcp, &ClientConnection::changedCReplayPiece, this,
            [this](int index, int count, const QByteArray& data) {
                if (!replays_.take(index, count, data)) {
                    qCDebug(lcClient) << "replay piece" << index << "of" << count << "dropped";
                } else if (index + 1 == count) {
                    qCDebug(lcClient) << "replay kept in" << replays_.lastFile();
                }
            });
    silence_.setSingleShot(true);
    silence_.setInterval(SeatKeeper::kSilentServerMs);
    connect(&silence_, &QTimer::timeout, this, [this] {
        if (mayRejoin()) {
            qCDebug(lcClient) << "the server fell silent";
            startRejoin(true);
        }
    });
    const auto heard = [this] { silence_.start(); };
    connect(udp, &ClientConnection::changedCPinglist, &silence_, heard);
    connect(udp, &ClientConnection::changedCMoveBlocks, &silence_, heard);
    connect(udp, &ClientConnection::changedCPinglist, this, &Client::changedPinglist);
    connect(udp, &ClientConnection::changedCMessage, &lobby_, &ClientLobby::processMessage);

    ServerBrowser* b = &browser_;
    connect(b, &ServerBrowser::probeAnswered, this, &Client::processProbeAnswered);
    connect(b, &ServerBrowser::probeFailed, this, &Client::processProbeFailed);
    connect(b, &ServerBrowser::inviteFailed, this, &Client::processInviteFailed);
    connect(b, &ServerBrowser::inviteFound, this, [this](const JoinWay& way, int localPort) {
        serverAddress_ = way.stream.address;
        serverPort_ = way.stream.port;
        way_ = way.kind;
        datagramPort_ = way.kind == JoinWay::Kind::Direct ? 0 : way.datagramPort;
        localPort_ = localPort;
    });
    punchTimer_.setSingleShot(true);
    punchTimer_.setInterval(kPunchedStreamMs);
    connect(&punchTimer_, &QTimer::timeout, this, [this] {
        if (session_.state == GamePlayer::Connecting && !tcpEstablished_ && !tryNextWay()) {
            processConnectionError(-1, ConnectionInterface::Timeout);
        }
    });
    connect(b, &ServerBrowser::masterChecked, this, &Client::processMasterChecked);
    connectField();
}

void Client::forgetWay() {
    if (std::exchange(way_, JoinWay::Kind::Direct) != JoinWay::Kind::Direct) {
        Q_EMIT screen_.displayReachability({});  // the last game's line about its way
    }
    datagramPort_ = 0;
    localPort_ = 0;
}

bool Client::tryNextWay() {
    if (way_ != JoinWay::Kind::Punched || !browser_.hasUntriedWay()) {
        return false;
    }
    qCDebug(lcClient) << "the punched way did not come through; the next one";
    punchTimer_.stop();
    closeGameConnections();
    session_.state = GamePlayer::Connecting;
    return browser_.tryNextWay();
}

void Client::connectField() {
    ClientField* f = &field_;
    ClientGame* g = &game_;
    f->setPrediction(settings_.options.predictMoves);
    connect(g, &ClientGame::createdNewBlock, f, &ClientField::processNewBlock);
    connect(g, &ClientGame::createdField, f, &ClientField::processNewField);
    connect(g, &ClientGame::moveBlocks, f, &ClientField::processMoveBlocks);
    connect(g, &ClientGame::mergeBlocks, f, &ClientField::processMergeBlocks);
    connect(f, &ClientField::noticedPacketLoss, g, &ClientGame::processPacketLoss);
    connect(g, &ClientGame::startPlayTime, f, [f] { f->holdPredictions(false); });
    connect(g, &ClientGame::pausePlayTime, f, &ClientField::holdPredictions);
    connect(g, &ClientGame::stopPlayTime, f, [f] { f->holdPredictions(true); });
    connect(&screen_, &ClientScreen::resetGui, f, &ClientField::reset);
    connect(this, &Client::changedPinglist, f, [this](const PayloadCodec::PingList& list) {
        if (const std::optional<int> ping = ownPing(list)) {
            field_.setRoundTripMs(*ping);
        }
    });
}

void Client::inputKeys(KeyInput keys) {
    field_.processInput(keys);
    game_.inputKeys(keys);
}

Client::~Client() {
    // The connections die with us; nothing they say on the way out matters.
    for (ConnectionInterface* c : {tcpConnection_, udpConnection_}) {
        c->disconnect(this);
    }
    stopServerThread();
}

// ---------------------------------------------------------------------------
// Shared steps

void Client::stopServerThread() {
    serverThread_.reset();
    session_.ownServer = false;
    if (session_.portMapping.state != PortMapping::State::Off) {
        processPortMapping(PortMapping{});
    }
    if (!session_.invite.code.isEmpty()) {
        processInvite({});
    }
}

void Client::processPortMapping(const PortMapping& mapping) {
    session_.portMapping = mapping;
    showReachability();
}

void Client::processInvite(const PayloadCodec::RegistrationAnswer& invite) {
    session_.invite = invite;
    Q_EMIT screen_.displayInviteCode(InviteCode::display(invite.code));
    showReachability();
}

void Client::showReachability() {
    // What the master server found holds over what the router said.
    Q_EMIT screen_.displayReachability(
        session_.invite.code.isEmpty()
            ? Reachability::line(session_.portMapping, Reachability::Audience::Lobby)
            : ClientTexts::invite(session_.invite));
}

void Client::closeGameConnections() {
    channels_.leave(true);
    tcpEstablished_ = false;
    udpEstablished_ = false;
    streamClientId_ = -1;
    silence_.stop();
    session_.state = GamePlayer::Empty;
    session_.rejoining = false;
}

void Client::connectToServer() {
    ClientSession& s = session_;
    s.state = GamePlayer::Connecting;
    s.lastResult = LastResult::None;
    endMode_ = EndMode::Stay;
    tcpEstablished_ = false;
    udpEstablished_ = false;
    // A countdown of an earlier game must not hold back the lobby texts.
    s.countdownRunning = false;
    s.countdownIsStart = false;
    lobby_.reset();
    if (!seats_.rejoining()) {
        s.players.clear();  // back in a seat the roster stands: nobody joined anew
    }
    qCDebug(lcClient) << "connecting to" << serverAddress_ << serverPort_ << "host key"
                      << (hostKey_ >= 0);
    const int from = way_ == JoinWay::Kind::Punched ? localPort_ : 0;
    tcpConnection_->setLocalPort(from);
    udpConnection_->setLocalPort(from);
    if (from > 0) {
        punchTimer_.start();
    }
    const bool rejoin = seats_.rejoining() && seats_.seat();
    tcpConnection_->setRejoinToken(rejoin ? seats_.seat()->token : QString());
    tcpConnection_->connectWithHello(
        serverAddress_, serverPort_, s.splitscreen ? 2 : 1, hostKey_,
        connectPassword_.isNull() ? QString(QLatin1String("")) : connectPassword_,
        rejoin ? seats_.seat()->clientId : -1);
}

std::optional<int> Client::ownPing(const PayloadCodec::PingList& list) const {
    const qsizetype own = list.connIds.indexOf(session_.ownConnId);
    if (own >= 0 && own < list.pings.size() && list.pings.at(own) < GamePlayer::kNoPing) {
        return list.pings.at(own);
    }
    return std::nullopt;
}

QString Client::serverLabel() const {
    // An address that did not parse has no text of its own: show what was typed.
    if (serverAddress_.isNull() && !addressText_.isEmpty()) {
        return addressText_.section(QLatin1Char(':'), 0, 0) + QLatin1Char(':') +
               QString::number(serverPort_);
    }
    return Endpoint{serverAddress_, serverPort_}.text();
}

void Client::returnToLastScreen(const QString& error) {
    Q_EMIT screen_.displayError(error, false);
    Q_EMIT screen_.setGuiBaseState(GuiState::NoState, QString());
    Q_EMIT screen_.setGuiLastState();
}

void Client::backToLastScreen() {
    Q_EMIT screen_.resetChat();
    Q_EMIT screen_.setGuiBaseState(GuiState::NoState, QString());
    Q_EMIT screen_.setGuiLastState();
}

void Client::disconnectGracefully() {
    seats_.forget();  // leaving on purpose gives the seat up
    Q_EMIT screen_.setGuiBaseState(GuiState::Notice, tr("Disconnecting..."));
    channels_.leave(false);
}

void Client::quit() {
    environment_.quit(0);
}

// ---------------------------------------------------------------------------
// Hosting and joining

void Client::hostGame(HostRequest request) {
    const ClientSettings::Hosting& r = request.hosting;
    const QString serverName = PlayerNames::sanitisedServerName(r.name);
    if (!request.singleplayer) {
        ClientSettings::Hosting& h = settings_.hosting;
        h = r;
        h.name = serverName;
        h.password = r.password.mid(1);  // without the GUI's marker character
        if (!settings_.saveServerSettings()) {
            Q_EMIT screen_.displayError(tr("The server settings could not be saved and will be "
                                           "reset at the next start."),
                                        false);
        }
    }

    hostKey_ = environment_.newHostKey();
    serverAddress_ = QHostAddress(QHostAddress::LocalHost);
    serverPort_ = r.port;
    forgetWay();
    addressText_.clear();
    inviteCode_.reset();
    connectPassword_ = r.password;
    session_.maxPlayers = r.maxPlayers;
    session_.singleplayer = request.singleplayer;
    session_.splitscreen = request.splitscreen;
    browser_.cancelProbe();
    resolving_ = false;

    Q_EMIT screen_.setGuiBaseState(GuiState::NoState, tr("Starting server..."));

    stopServerThread();
    const int ownPlayers = request.splitscreen ? 2 : 1;
    const ServerSettings host{
        .name = serverName,
        .port = r.port,
        .maxPlayers = r.maxPlayers,
        .singleplayer = request.singleplayer,
        .stats = r.ranked,
        .hostKey = hostKey_,
        .usePassword = r.usePassword,
        .password = r.usePassword ? r.password : QString(),
        // A game on this computer is for nobody outside it.
        .openPort = r.openPort && !request.singleplayer,
        .listed = r.listed,
        // The server seats them before anyone joins: the
        // host's own places stay free.
        .computers = std::clamp(r.computers, 0, std::max(0, r.maxPlayers - ownPlayers)),
        .computerSkill = r.computerSkill,
        .computerTakeover = r.computerTakeover};
    serverThread_ = serverStarter_ ? serverStarter_(host) : nullptr;
    if (!serverThread_) {
        returnToLastScreen(ClientTexts::connectionError(ConnectionInterface::InitError, QString()));
        return;
    }
    serverPort_ = serverThread_->port();
    session_.ownServer = true;
    serverThread_->reportPortMapping(
        [this](const PortMapping& mapping) { processPortMapping(mapping); });
    serverThread_->reportInvite(
        [this](const PayloadCodec::RegistrationAnswer& invite) { processInvite(invite); });

    if (request.singleplayer) {
        connectToServer();
    } else if (!browser_.hasMaster()) {
        hostWithoutMaster();
    } else {
        browser_.checkMaster();
    }
}

void Client::hostWithoutMaster() {
    Q_EMIT screen_.displayError(tr("Starting server...") + kParagraph +
                                    tr("The masterserver could not be reached. Other players can "
                                       "only connect to you directly."),
                                false);
    connectToServer();
}

void Client::processMasterChecked(bool reached) {
    // Already on the way to the own server, or given up: a late second
    // answer must not open a second connection.
    if (!serverThread_ || connected() || session_.state != GamePlayer::Empty) {
        return;
    }
    if (reached) {
        connectToServer();
    } else {
        hostWithoutMaster();
    }
}

QString Client::takeAddress(const QString& address, bool saveAddress) {
    addressText_ = address;
    inviteCode_ = InviteCode::fromJoinText(address);
    if (inviteCode_) {
        addressText_ = InviteCode::display(*inviteCode_);
    }
    const JoinAddress join = JoinAddress::parse(address, Quadrell::kDefaultGamePort);
    serverAddress_ = QHostAddress(join.host);
    serverPort_ = join.port;
    forgetWay();
    if (saveAddress) {
        settings_.cache.ip = address;
        settings_.saveCache();
    }
    return join.host;
}

void Client::joinGame(bool splitscreen, QString address, bool saveAddress, QString password) {
    hostKey_ = -1;
    connectPassword_ = password;
    seats_.forget();
    const QString host = address != kUseOldAddress ? takeAddress(address, saveAddress) : QString();
    session_.singleplayer = false;
    session_.splitscreen = splitscreen;
    session_.ownServer = false;

    Q_EMIT screen_.setGuiBaseState(GuiState::NoState, tr("Connecting to %1...").arg(addressText_) +
                                                          kParagraph + tr("Press 'ESC' to abort."));
    findServer(host);
}

void Client::findServer(const QString& host) {
    if (inviteCode_) {
        qCDebug(lcClient) << "asking the master server where" << *inviteCode_ << "is";
        browser_.probeInvite(*inviteCode_);
        return;
    }
    if (!serverAddress_.isNull() || host.isEmpty()) {
        probeServer();
        return;
    }
    // A host name: looked up without blocking; Escape or a newer join ends it.
    const int lookup = ++lookups_;
    resolving_ = true;
    resolveHost(environment_.lookup, host, this, [this, lookup](const QHostAddress& found) {
        if (lookup != lookups_ || !resolving_) {
            return;
        }
        resolving_ = false;
        serverAddress_ = found;
        probeServer();
    });
}

void Client::probeServer() {
    if (serverAddress_.isNull() && seats_.rejoining()) {
        rejoinFailed(false);
        return;
    }
    if (serverAddress_.isNull()) {
        returnToLastScreen(
            ClientTexts::connectionError(ConnectionInterface::HostNotFound, serverLabel()));
        return;
    }
    browser_.probe(serverAddress_, serverPort_);
}

void Client::processProbeAnswered(ServerData server) {
    if (server.version() != QLatin1String(Quadrell::kVersion)) {
        Q_EMIT screen_.displayError(tr("The server '%1' requires version '%2' of the game.")
                                        .arg(serverLabel(), server.version()),
                                    false);
        backToLastScreen();
    } else if (server.hasPassword() && connectPassword_.isEmpty() && !seats_.rejoining()) {
        Q_EMIT screen_.resetChat();
        Q_EMIT screen_.setGuiTopState(GuiState::PasswordMenu, QString());
    } else {
        session_.maxPlayers = server.maxPlayers();
        connectToServer();
    }
}

void Client::processInviteFailed(ServerBrowser::InviteFailure failure) {
    if (connected()) {
        return;
    }
    if (seats_.rejoining()) {
        rejoinFailed(false);
        return;
    }
    const QString code = addressText_;
    switch (failure) {
        case ServerBrowser::InviteFailure::NoMaster:
            Q_EMIT screen_.displayError(
                tr("Joining by invite code needs a master server (masterserver.ini)."), false);
            break;
        case ServerBrowser::InviteFailure::MasterSilent:
            Q_EMIT screen_.displayError(
                tr("The master server did not answer: the invite code %1 could not be looked up.")
                    .arg(code),
                false);
            break;
        case ServerBrowser::InviteFailure::Unknown:
            Q_EMIT screen_.displayError(tr("No game has the invite code %1.").arg(code), false);
            break;
        case ServerBrowser::InviteFailure::Unreachable:
            Q_EMIT screen_.displayError(
                tr("The game of invite code %1 cannot be reached from the internet: its host's "
                   "router lets nobody in. Only players on the host's network can join.")
                    .arg(code),
                false);
            break;
    }
    backToLastScreen();
}

void Client::processProbeFailed() {
    if (connected()) {
        return;
    }
    if (seats_.rejoining()) {
        rejoinFailed(false);
        return;
    }
    Q_EMIT screen_.displayError(
        ClientTexts::connectionError(ConnectionInterface::HostNotFound, serverLabel()), false);
    backToLastScreen();
}

void Client::processConnectionEstablished(int connId, bool isAuthed) {
    ClientSession& s = session_;
    if ((tcpEstablished_ && udpEstablished_) || s.state != GamePlayer::Connecting) {
        return;
    }
    const QObject* from = sender();
    if (from == tcpConnection_ && !tcpEstablished_) {
        tcpEstablished_ = true;
        streamClientId_ = connId;
        // The datagram side opens only now, asking for the id the stream got.
        udpConnection_->connectWithHello(serverAddress_,
                                         datagramPort_ > 0 ? datagramPort_ : serverPort_,
                                         s.splitscreen ? 2 : 1, hostKey_, connectPassword_, connId);
    } else if (from == udpConnection_ && tcpEstablished_) {
        udpEstablished_ = true;
    }
    if (!(tcpEstablished_ && udpEstablished_)) {
        return;
    }
    s.state = GamePlayer::Waiting;
    s.isHost = isAuthed;
    s.ownConnId = connId;
    qCDebug(lcClient) << "connected as" << connId << (isAuthed ? "host" : "guest");
    punchTimer_.stop();
    field_.forgetServer();
    if (seats_.rejoining()) {
        // The game stays on screen until the server's snapshot of it comes.
        seats_.stopRejoin();
        s.rejoining = true;
        lobby_.sendPlayers();
        return;
    }
    Q_EMIT screen_.resetGui(s.joined(true, false));
    Q_EMIT screen_.setGuiBaseState(GuiState::Lobby, ClientTexts::readyHint(s.splitscreen));
    if (way_ == JoinWay::Kind::Relayed) {
        Q_EMIT screen_.displayReachability(
            tr("You play through the relay at %1: the host's game cannot be reached directly.")
                .arg(serverAddress_.toString()));
    } else if (way_ == JoinWay::Kind::Punched) {
        Q_EMIT screen_.displayReachability(
            tr("You play directly with the host's game at %1: both routers were opened towards "
               "each other.")
                .arg(serverAddress_.toString()));
    }
    lobby_.sendPlayers();
}

// ---------------------------------------------------------------------------
// The lobby's player list, and the host's computer players

void Client::addComputer() {
    // Only the program that runs the server can seat one: there is no message for it.
    if (serverThread_ && session_.isHost && session_.inLobby()) {
        serverThread_->addComputer();
    }
}

void Client::updatePlayerlist(const PayloadCodec::PlayerList& list) {
    lobby_.takePlayerList(list);
    Q_EMIT changedPlayerlist(list);
    if (session_.inLobby() && !session_.countdownRunning) {
        lobby_.showText();
    }
}

void Client::dropPlayers(int connId, bool kicked) {
    if (connId < 0 || connId >= PlayerRoster::kConnIds) {
        return;
    }
    Q_EMIT removePlayer(connId);
    lobby_.showLeaving(connId, kicked);
}

void Client::processPlayerDisconnect(int connId) {
    dropPlayers(connId, false);
}

void Client::processPlayerKick(int connId) {
    if (connId != session_.ownConnId || !connected()) {
        dropPlayers(connId, true);
        return;
    }
    closeGameConnections();
    stopServerThread();
    seats_.forget();
    if (endMode_ == EndMode::Quit) {
        quit();
        return;
    }
    Q_EMIT screen_.displayError(tr("You have been kicked by the server."), true);
    Q_EMIT screen_.resetChat();
}

// ---------------------------------------------------------------------------
// Leaving

void Client::abortAction() {
    if (seats_.rejoining()) {
        seats_.forget();
        closeGameConnections();
        browser_.cancelProbe();
        resolving_ = false;
    } else if (session_.state == GamePlayer::Connecting) {
        closeGameConnections();
        stopServerThread();
    } else if (browser_.probing()) {
        browser_.cancelProbe();
    } else if (resolving_) {
        resolving_ = false;
    } else if (session_.state == GamePlayer::Empty && serverThread_) {
        // Still waiting for the master check of a hosted game.
        stopServerThread();
    } else {
        return;
    }
    backToLastScreen();
}

void Client::endGame() {
    endMode_ = EndMode::MainMenu;
    abortAction();
    if (session_.state != GamePlayer::Empty) {
        disconnectGracefully();
    } else {
        stopServerThread();
        Q_EMIT screen_.resetChat();
        Q_EMIT screen_.setGuiBaseState(GuiState::MainMenu, QString());
    }
}

void Client::endProgramm() {
    endMode_ = EndMode::Quit;
    abortAction();
    browser_.close();
    if (session_.state == GamePlayer::Empty) {
        stopServerThread();
        quit();
    } else {
        disconnectGracefully();
    }
}

void Client::processConnectionClosed(int connId) {
    if (!connected()) {
        return;
    }
    qCDebug(lcClient) << "connection closed" << connId << "end mode" << int(endMode_);
    closeGameConnections();
    switch (endMode_) {
        case EndMode::MainMenu:
            Q_EMIT screen_.resetChat();
            Q_EMIT screen_.setGuiBaseState(GuiState::MainMenu, QString());
            stopServerThread();
            break;
        case EndMode::Quit:
            stopServerThread();
            quit();
            break;
        case EndMode::Stay:
            if (mayRejoin()) {
                startRejoin(true);  // the server let go of us: our seat may still wait
                return;
            }
            // The server ended the connection without being asked: the game is gone.
            seats_.forget();
            stopServerThread();
            Q_EMIT screen_.displayError(
                ClientTexts::connectionError(ConnectionInterface::ConnectionLost, QString()), true);
            Q_EMIT screen_.resetChat();
            break;
    }
}

void Client::processServerShutdown(int connId) {
    if (!connected()) {
        return;
    }
    qCDebug(lcClient) << "server shut down by" << connId;
    closeGameConnections();
    seats_.forget();
    if (endMode_ == EndMode::Quit) {
        // Whoever shut the server down, the program was about to end anyway.
        stopServerThread();
        quit();
    } else if (session_.isHost && endMode_ == EndMode::MainMenu) {
        Q_EMIT screen_.resetChat();
        Q_EMIT screen_.setGuiBaseState(GuiState::MainMenu, QString());
        stopServerThread();
    } else {
        stopServerThread();
        Q_EMIT screen_.displayError(tr("The server was shut down."), true);
        Q_EMIT screen_.resetChat();
    }
}

void Client::processConnectionError(int /*connId*/, ConnectionInterface::ConnectionError error) {
    if (seats_.rejoining() && session_.state == GamePlayer::Connecting) {
        qCDebug(lcClient) << "rejoin attempt failed:" << error;
        closeGameConnections();
        rejoinFailed(error == ConnectionInterface::Refused);
        return;
    }
    if (session_.state != GamePlayer::Connecting && !connected()) {
        return;
    }
    qCDebug(lcClient) << "connection error" << error;
    if (mayRejoin() &&
        (error == ConnectionInterface::ConnectionLost || error == ConnectionInterface::Timeout ||
         error == ConnectionInterface::PacketLoss)) {
        startRejoin(true);
        return;
    }
    if (session_.state == GamePlayer::Connecting && tryNextWay()) {
        return;
    }
    closeGameConnections();
    stopServerThread();
    if (endMode_ == EndMode::Quit) {
        quit();
        return;
    }
    Q_EMIT screen_.resetChat();
    const QString text = ClientTexts::connectionError(error, serverLabel());
    if (ClientTexts::endsTheGame(error)) {
        Q_EMIT screen_.displayError(text, true);
    } else if (!text.isEmpty()) {
        returnToLastScreen(text);
    }
}

// ---------------------------------------------------------------------------
// Back after a drop

bool Client::mayRejoin() const {
    const GamePlayer::PlayerStatus state = session_.state;
    return seats_.seat() && !seats_.rejoining() && !session_.ownServer &&
           endMode_ == EndMode::Stay &&
           (state == GamePlayer::Playing || state == GamePlayer::Pausing);
}

bool Client::resumeSeat() {
    if (connected() || session_.state != GamePlayer::Empty || !seats_.restore()) {
        return false;
    }
    const SeatKeeper::Seat& seat = *seats_.seat();
    hostKey_ = -1;
    connectPassword_ = QString(QLatin1String(""));
    session_.singleplayer = false;
    session_.splitscreen = seat.players == 2;
    session_.ownServer = false;
    startRejoin(false);
    return true;
}

void Client::startRejoin(bool onScreen) {
    qCDebug(lcClient) << "lost the server; coming back into seat" << seats_.seat()->clientId;
    closeGameConnections();
    seats_.startRejoin();
    Q_EMIT screen_.setGuiBaseState(
        onScreen ? GuiState::Game : GuiState::NoState,
        tr("Reconnecting...") + kParagraph + tr("Press 'ESC' to abort."));
    attemptRejoin();
}

void Client::attemptRejoin() {
    if (!seats_.rejoining() || connected() || session_.state == GamePlayer::Connecting) {
        return;
    }
    if (seats_.expired()) {
        rejoinFailed(true);
        return;
    }
    findServer(takeAddress(seats_.seat()->way, false));
}

void Client::rejoinFailed(bool seatGone) {
    if (!seatGone && !seats_.expired()) {
        seats_.retryLater();
        return;
    }
    seats_.forget();
    closeGameConnections();
    Q_EMIT screen_.resetChat();
    Q_EMIT screen_.displayError(tr("The game could not be reached again: your seat is given up."),
                                true);
}

// ---------------------------------------------------------------------------
// Options

void Client::saveOptions() {
    if (!settings_.saveOptions()) {
        Q_EMIT screen_.displayError(
            tr("The options could not be saved and will be reset at the next start."), false);
    }
}

void Client::setOptions(ClientSettings::Options options) {
    settings_.takeOptions(std::move(options));
    field_.setPrediction(settings_.options.predictMoves);
    if (session_.state != GamePlayer::Empty) {
        lobby_.sendPlayers();
    }
    saveOptions();
}

void Client::setColors(int color1, int color2) {
    settings_.options.color1 = color1;
    settings_.options.color2 = color2;
    saveOptions();
    if (session_.state != GamePlayer::Empty) {
        lobby_.sendPlayers();
    }
}

void Client::setLastFilter(int filter) {
    settings_.cache.filter = filter;
    settings_.saveCache();
}
