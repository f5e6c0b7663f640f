#pragma once

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "client/client.h"
#include "tests/support/fakeconnection.h"
#include "tests/support/fakehostlookup.h"
#include "tests/support/signallog.h"

using Calls = QList<QVariantList>;

// States by name in what a test reads: "base Lobby Press ...", "Waiting,-1".
inline QString stateName(GuiState s) {
    static const QString all =
        "Intro MainMenu SplitscreenMenu MultiplayerMenu HostMenu ServerList JoinMenu PasswordMenu "
        "GameMenu HighscoreMenu OptionsMenu EditServerName EditHostPassword EditPort EditAddress "
        "EditJoinPassword EditPlayerName1 EditPlayerName2 ChatInput Lobby Game About Notice "
        "NoState";
    static const QStringList names = all.split(' ');
    return names.value(int(s), QString::number(int(s)));
}
inline const QStringList& statusNames() {
    static const QStringList names =
        QStringLiteral("Empty Connecting Waiting Ready Playing Spectating Pausing").split(' ');
    return names;
}
// A recorded change of the base state, as "base Lobby Press ...".
inline QString base(GuiState state, const QString& text = QString()) {
    return QStringLiteral("base %1 %2").arg(stateName(state), text);
}

// A network game "Open", ranked, for four; no password (the GUI's marker alone) unless given.
inline HostRequest networkGame(int port = 27403, int maxPlayers = 4,
                               const QString& password = QString()) {
    return {.hosting = {.name = "Open",
                        .ranked = true,
                        .usePassword = !password.isEmpty(),
                        .password = "P" + password,
                        .maxPlayers = maxPlayers,
                        .port = port}};
}
// A game that stays on this computer: alone, or two on one screen.
inline HostRequest localGame(int port = 27403, bool splitscreen = false) {
    HostRequest r = networkGame(port, splitscreen ? 2 : 1);
    r.hosting.name = "Local";
    r.singleplayer = true;
    r.splitscreen = splitscreen;
    return r;
}

// How a client signal's arguments read in a recorded line.
struct ClientText {
    static QString of(bool b) { return b ? "T" : "F"; }
    static QString of(int v) { return QString::number(v); }
    static QString of(const QString& s) { return s; }
    static QString of(GuiState s) { return stateName(s); }
    static QString of(const QStringList& l) { return l.join(QLatin1Char(',')); }
    template <typename T>
    static QString of(const QList<T>& l) {
        return joinedNumbers(l);
    }
    // Blocks by id; a field's landed boxes and movements by their count.
    static QString of(const BlockRecord& b) { return QString::number(b.id); }
    static QString of(const QList<FieldCell>& l) { return QString::number(l.size()); }
    static QString of(const QList<GameMovement>& l) { return QString::number(l.size()); }
    static QString of(const PayloadCodec::PlayerList& l) {
        return QStringList{of(l.connIds), of(l.names), of(l.colors), of(l.status)}.join(
            QLatin1Char(' '));
    }
    static QString of(const PayloadCodec::PingList& l) {
        return of(l.connIds) + QLatin1Char(' ') + of(l.pings);
    }
    static QString of(const JoinedGame& g) {
        return QStringList{of(g.newPlayers), of(g.maxPlayers), of(g.splitscreen),
                           of(g.host),       of(g.spectator),  of(g.ownConnId)}
            .join(QLatin1Char(' '));
    }
};

// Every GUI signal of a Client as one line of text in `events`.
struct ClientRecorder : SignalLog<ClientText> {
    void listen(Client* c) {
        ClientScreen* screen = &c->screen();
        record(screen, &ClientScreen::setGuiBaseState, "base");
        record(screen, &ClientScreen::setGuiTopState, "top");
        record(screen, &ClientScreen::setGuiLastState, "last");
        QObject::connect(screen, &ClientScreen::displayError, [this](const QString& m, bool leave) {
            events.append("error " + ClientText::of(leave) + QLatin1Char(' ') + m);
        });
        record(screen, &ClientScreen::displayCountdown, "countdown");
        record(screen, &ClientScreen::displayChatMessage, "chat");
        record(screen, &ClientScreen::resetGui, "resetGui");
        record(screen, &ClientScreen::resetChat, "resetChat");
        record(screen, &ClientScreen::displayReachability, "reach");
        record(c, &Client::removePlayer, "remove");
        record(c, &Client::changedPinglist, "pings");
        record(c, &Client::changedPlayerlist, "players");

        ClientGame* game = &c->game();
        record(game, &ClientGame::changeFieldsizeX, "fieldsize");
        record(game, &ClientGame::setRotation, "rotation");
        record(game, &ClientGame::startPlayTime, "playtime start");
        record(game, &ClientGame::pausePlayTime, "playtime pause");
        record(game, &ClientGame::stopPlayTime, "playtime stop");
        record(game, &ClientGame::setScore, "score");
        record(game, &ClientGame::setPlaytime, "playtime text");
        record(game, &ClientGame::createdNewBlock, "block");
        record(game, &ClientGame::createdField, "field");
        record(game, &ClientGame::moveBlocks, "move");
        record(game, &ClientGame::mergeBlocks, "merge");
    }
};

// One Client on three recording connections, a counting starter and a temporary directory.
struct ClientHarness : ClientRecorder {
    // Stands for the client's own server; counts its end and the computers asked for.
    struct CountingServer : EmbeddedServer {
        CountingServer(ClientHarness& h, int port) : h_(h), port_(port) {}
        ~CountingServer() override { ++h_.stopped; }
        int port() const override { return port_; }
        void addComputer() override { ++h_.computersAdded; }
        void reportPortMapping(MappingReport) override {}  // no router here
        void reportInvite(InviteReport) override {}
        ClientHarness& h_;
        int port_;
    };

    QTemporaryDir dir;
    FakeClientConnection* tcp = new FakeClientConnection;  // the three owned by the client
    FakeClientConnection* udp = new FakeClientConnection;
    FakeMasterConnection* master = new FakeMasterConnection;
    std::vector<ServerSettings> started;  // the servers asked for
    int stopped = 0;
    int computersAdded = 0;
    QList<int> quits;
    FakeHostLookup names;
    std::unique_ptr<Client> client;

    // The two ini files are written first unless empty; listen: record the GUI signals.
    explicit ClientHarness(const QString& settingsIni = QString(),
                           const QString& masterserverIni = QString(), bool listen = true) {
        writeFile("settings.ini", settingsIni);
        writeFile("masterserver.ini", masterserverIni);
        Client::Environment env;
        env.directory = dir.path();
        env.now = [] { return QDateTime(QDate(2011, 3, 5), QTime(18, 4, 11)); };
        env.quit = [this](int code) { quits.append(code); };
        env.lookup = names.lookup();
        client = std::make_unique<Client>(
            tcp, udp, master,
            [this](const ServerSettings& s) -> std::unique_ptr<EmbeddedServer> {
                started.push_back(s);
                return std::make_unique<CountingServer>(*this, s.port);
            },
            env);
        if (listen) {
            ClientRecorder::listen(client.get());
        }
    }

    // Every option away from its default, in declaration order; colours change via setColors only.
    void setOptions(const QString& name1, const QString& name2) {
        client->setOptions({name1, 4, name2, -1, false, 2, false, true, true, true, false, false,
                            1920, 1080, 1, false, false});
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    void writeFile(const QString& name, const QString& text) const {
        QFile file(path(name));
        QVERIFY(text.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8())));
    }
    QString readFile(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    void clearLog() {
        events.clear();
        tcp->clear();
        udp->clear();
        master->clear();
    }

    // Both game connections report the handshake, stream first.
    void establish(int connId, bool isHost) {
        Q_EMIT tcp->connectionEstablished(connId, isHost);
        Q_EMIT udp->connectionEstablished(connId, isHost);
    }
    void hostSingle() {
        client->hostGame(localGame(27403));
        establish(0, true);
    }
    void joinAndEstablish(const QString& address, int connId, bool isHost = false) {
        client->joinGame(false, address, false, QString());
        const QStringList parts = address.split(QLatin1Char(':'));
        answerProbe(parts.at(0), parts.value(1, "27403").toInt());
        establish(connId, isHost);
    }
    // Ready, listed as playing, and the start countdown 3, 2, 1, 0.
    void startGame(int connId = 0, int fieldsizeX = 12) {
        client->lobby().setReady();
        playerList(QStringLiteral("%1:Player1:Playing").arg(connId));
        for (int count : {3, 2, 1, 0}) {
            Q_EMIT udp->changedCGameStart({connId, fieldsizeX, count});
        }
    }
    // The status entries of every "CPLR" sent, as "Waiting,-1".
    QStringList statusesSent() const {
        QStringList out;
        for (const QVariantList& call : tcp->callsOf("sendCPlayers")) {
            QStringList status;
            for (const QVariant& v : call.at(3).toList()) {
                status.append(statusNames().value(v.toInt(), v.toString()));
            }
            out.append(status.join(QLatin1Char(',')));
        }
        return out;
    }
    // The server's player list from "connId:name[:Status] ...", free places added up to 4.
    void playerList(const QString& entries) {
        const QStringList rows = entries.split(' ');
        const int n = std::max<int>(4, rows.size());
        QList<int> ids(n, -1), colours(n, -1), status(n, 0);
        QStringList names(n);
        for (int i = 0; i < rows.size(); ++i) {
            const QStringList row = rows[i].split(':');
            ids[i] = row[0].toInt();
            names[i] = row[1];
            status[i] = int(statusNames().indexOf(row.value(2, "Waiting")));
        }
        Q_EMIT tcp->changedCPlayerlist({ids, names, colours, status});
    }
    void answerProbe(const QString& address, int port, bool hasPassword = false,
                     int maxPlayers = 4) {
        Q_EMIT master->changedCNewServer(
            -1, ServerData("Beta 0.92", address, "Some server", port, false, hasPassword, 1,
                           maxPlayers, 12, QString()));
    }
};
