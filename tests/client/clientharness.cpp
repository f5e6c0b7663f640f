#include "clientharness.h"

#include <QTest>

namespace {

void writeFile(const QString& path, const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

}  // namespace

ClientHarness::ClientHarness(const QString& settingsIni, const QString& masterserverIni,
                             bool listen) {
    writeFile(path(QStringLiteral("settings.ini")), settingsIni);
    writeFile(path(QStringLiteral("masterserver.ini")), masterserverIni);

    tcp = new FakeConnection(false);
    udp = new FakeConnection(true);
    master = new FakeConnection(true);
    auto log = servers;
    Client::Environment env;
    env.directory = dir.path();
    env.now = [] { return QDateTime(QDate(2011, 3, 5), QTime(18, 4, 11)); };
    env.quit = [this](int code) { quits.append(code); };
    client = std::make_unique<Client>(
        tcp, udp, master,
        [log](const ServerSettings& s) -> std::unique_ptr<EmbeddedServer> {
            log->started.push_back(s);
            return std::make_unique<CountingServer>(log, s.port);
        },
        env);
    if (listen) {
        ClientRecorder::listen(client.get());
    }
}

void ClientRecorder::listen(Client* c) {
    record(c, &Client::setGuiBaseState, "base");
    record(c, &Client::setGuiTopState, "top");
    record(c, &Client::setGuiLastState, "last");
    QObject::connect(c, &Client::displayError, [this](const QString& m, bool leave) {
        events.append(QStringLiteral("error ") + text(leave) + QLatin1Char(' ') + m);
    });
    record(c, &Client::displayMessage, "message");
    record(c, &Client::displayCountdown, "countdown");
    record(c, &Client::displayChatMessage, "chat");
    record(c, &Client::resetGui, "resetGui");
    record(c, &Client::resetChat, "resetChat");
    record(c, &Client::changeFieldsizeX, "fieldsize");
    record(c, &Client::setRotation, "rotation");
    record(c, &Client::startPlayTime, "playtime start");
    record(c, &Client::pausePlayTime, "playtime pause");
    record(c, &Client::stopPlayTime, "playtime stop");
    record(c, &Client::setScore, "score");
    record(c, &Client::setPlaytime, "playtime text");
    record(c, &Client::removePlayer, "remove");
    record(c, &Client::resultMasterserver, "master");
    record(c, &Client::changedPinglist, "pings");
    record(c, &Client::changedPlayerlist, "players");
    record(c, &Client::createdNewBlock, "block");
    QObject::connect(
        c, &Client::moveBlocks, [this](const QList<GameMovement*>& list, const QList<int>& active) {
            events.append(QStringLiteral("move ") + text(list) + QLatin1Char(' ') + text(active));
            if (useMirror) {
                mirror.moveBlocks(list, active);
                qDeleteAll(list);
            }
        });
    QObject::connect(c, &Client::mergeBlocks, [this](const QList<GameMovement*>& list) {
        events.append(QStringLiteral("merge ") + text(list));
        if (useMirror) {
            mirror.mergeBlocks(list);
            qDeleteAll(list);
        }
    });
    record(c, &Client::newServer, "server");
}

QString ClientRecorder::text(GameBlock* block) {
    if (useMirror) {
        const int id = block->id();
        mirror.addBlock(std::unique_ptr<GameBlock>(block));
        return QString::number(id);
    }
    blocks.emplace_back(block);
    return QString::number(block->id());
}

QString ClientRecorder::text(const QList<GameMovement*>& list) {
    if (useMirror) {
        return QString::number(list.size());
    }
    for (GameMovement* m : list) {
        movements.emplace_back(m);
    }
    return QString::number(list.size());
}

QString ClientRecorder::text(ServerData* server) {
    listedServers.emplace_back(server);
    return server->address();
}

QString ClientHarness::readFile(const QString& name) const {
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

void ClientHarness::clearLog() {
    events.clear();
    tcp->clear();
    udp->clear();
    master->clear();
}

QStringList ClientRecorder::eventsOf(const QString& prefix) const {
    QStringList out;
    for (const QString& e : events) {
        if (e.startsWith(prefix)) {
            out.append(e);
        }
    }
    return out;
}

void ClientHarness::establish(int connId, bool isHost) {
    Q_EMIT tcp->connectionEstablished(connId, isHost);
    Q_EMIT udp->connectionEstablished(connId, isHost);
}

void ClientHarness::hostSingle(bool splitscreen) {
    client->hostGame(QStringLiteral("Local"), 27403, splitscreen ? 2 : 1, true, splitscreen, true,
                     false, QStringLiteral("P"));
    establish(0, true);
}

void ClientHarness::joinAndEstablish(const QString& address, int connId, bool splitscreen) {
    client->joinGame(splitscreen, address, false, QString());
    const QStringList parts = address.split(QLatin1Char(':'));
    answerProbe(QStringLiteral("Beta 0.92"), parts.at(0),
                parts.size() > 1 ? parts.at(1).toInt() : 27403);
    establish(connId, false);
}

void ClientHarness::playerList(const QList<Entry>& entries) {
    QList<int> ids;
    QStringList names;
    QList<int> colours;
    QList<int> status;
    for (const Entry& e : entries) {
        ids.append(e.connId);
        names.append(e.name);
        colours.append(e.colour);
        status.append(e.status);
    }
    while (ids.size() < 4) {
        ids.append(-1);
        names.append(QString());
        colours.append(-1);
        status.append(0);
    }
    Q_EMIT tcp->changedCPlayerlist(ids, names, colours, status);
}

void ClientHarness::answerProbe(const QString& version, const QString& address, int port,
                                bool hasPassword, int maxPlayers) {
    Q_EMIT master->changedCNewServer(
        -1, new ServerData(version, address, QStringLiteral("Some server"), port, false,
                           hasPassword, 1, maxPlayers, 12, QString()));
}

void ClientHarness::startGame(int connId, int fieldsizeX) {
    client->setReady();
    playerList({{connId, QStringLiteral("Player1"), GamePlayer::Playing}});
    for (int count : {3, 2, 1, 0}) {
        Q_EMIT udp->changedCGameStart(connId, fieldsizeX, count);
    }
}

QStringList ClientHarness::statusesSent() const {
    QStringList out;
    for (const QVariantList& call : tcp->callsOf(QStringLiteral("sendCPlayers"))) {
        QStringList status;
        for (const QVariant& v : call.at(3).toList()) {
            status.append(v.toString());
        }
        out.append(status.join(QLatin1Char(',')));
    }
    return out;
}
