#include "clientharness.h"

#include <QTest>

namespace {

QString flag(bool b) {
    return b ? QStringLiteral("T") : QStringLiteral("F");
}

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
        [log](const HostSettings& s) -> std::unique_ptr<EmbeddedServer> {
            log->started.push_back(s);
            return std::make_unique<CountingServer>(log);
        },
        env);
    if (!listen) {
        return;
    }

    Client* c = client.get();
    QObject::connect(c, &Client::setGuiBaseState, [this](GuiState s, const QString& m) {
        events.append(QStringLiteral("base %1 %2").arg(int(s)).arg(m));
    });
    QObject::connect(c, &Client::setGuiTopState, [this](GuiState s, const QString& m) {
        events.append(QStringLiteral("top %1 %2").arg(int(s)).arg(m));
    });
    QObject::connect(c, &Client::setGuiLastState,
                     [this] { events.append(QStringLiteral("last")); });
    QObject::connect(c, &Client::displayError, [this](const QString& m, bool leave) {
        events.append(QStringLiteral("error %1 %2").arg(flag(leave), m));
    });
    QObject::connect(c, &Client::displayCountdown,
                     [this](const QString& m) { events.append(QStringLiteral("countdown ") + m); });
    QObject::connect(c, &Client::displayChatMessage, [this](int id, const QString& m) {
        events.append(QStringLiteral("chat %1 %2").arg(id).arg(m));
    });
    QObject::connect(c, &Client::resetGui,
                     [this](bool players, int mp, bool split, bool host, bool spec, int cId) {
                         events.append(QStringLiteral("resetGui %1 %2 %3 %4 %5 %6")
                                           .arg(flag(players))
                                           .arg(mp)
                                           .arg(flag(split), flag(host), flag(spec))
                                           .arg(cId));
                     });
    QObject::connect(c, &Client::resetChat, [this] { events.append(QStringLiteral("resetChat")); });
    QObject::connect(c, &Client::changeFieldsizeX,
                     [this](int x) { events.append(QStringLiteral("fieldsize %1").arg(x)); });
    QObject::connect(c, &Client::setRotation,
                     [this](bool r) { events.append(QStringLiteral("rotation ") + flag(r)); });
    QObject::connect(c, &Client::startPlayTime,
                     [this] { events.append(QStringLiteral("playtime start")); });
    QObject::connect(c, &Client::pausePlayTime, [this](bool p) {
        events.append(QStringLiteral("playtime pause ") + flag(p));
    });
    QObject::connect(c, &Client::stopPlayTime,
                     [this] { events.append(QStringLiteral("playtime stop")); });
    QObject::connect(c, &Client::setScore, [this](int score, bool add) {
        events.append(QStringLiteral("score %1 %2").arg(score).arg(flag(add)));
    });
    QObject::connect(c, &Client::setPlaytime, [this](const QString& t, bool add) {
        events.append(QStringLiteral("playtime text %1 %2").arg(t, flag(add)));
    });
    QObject::connect(c, &Client::removePlayer,
                     [this](int id) { events.append(QStringLiteral("remove %1").arg(id)); });
    QObject::connect(c, &Client::resultMasterserver, [this](MasterserverResult r) {
        events.append(QStringLiteral("master %1").arg(int(r)));
    });
    QObject::connect(c, &Client::changedPinglist, [this](QList<int> ids, QList<int> pings) {
        QStringList parts;
        for (qsizetype i = 0; i < ids.size() && i < pings.size(); ++i) {
            parts.append(QStringLiteral("%1=%2").arg(ids.at(i)).arg(pings.at(i)));
        }
        events.append(QStringLiteral("pings ") + parts.join(QLatin1Char(' ')));
    });
    QObject::connect(
        c, &Client::changedPlayerlist,
        [this](QList<int>, QStringList names, QList<int>, QList<GamePlayer::PlayerStatus> status) {
            QStringList parts;
            for (qsizetype i = 0; i < names.size() && i < status.size(); ++i) {
                parts.append(names.at(i) + QLatin1Char('=') + QString::number(status.at(i)));
            }
            events.append(QStringLiteral("players ") + parts.join(QLatin1Char(' ')));
        });
    QObject::connect(c, &Client::createdNewBlock, [this](GameBlock* b) {
        blocks.emplace_back(b);
        events.append(QStringLiteral("block %1").arg(b->id()));
    });
    QObject::connect(c, &Client::moveBlocks, [this](QList<GameMovement*> m, QList<int> active) {
        for (GameMovement* g : m) {
            movements.emplace_back(g);
        }
        events.append(QStringLiteral("move %1 %2 %3")
                          .arg(m.size())
                          .arg(active.value(0, -9))
                          .arg(active.value(1, -9)));
    });
    QObject::connect(c, &Client::mergeBlocks, [this](QList<GameMovement*> m) {
        for (GameMovement* g : m) {
            movements.emplace_back(g);
        }
        events.append(QStringLiteral("merge %1").arg(m.size()));
    });
    QObject::connect(c, &Client::newServer, [this](ServerData* s) {
        listedServers.emplace_back(s);
        events.append(QStringLiteral("server ") + s->address());
    });
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

QStringList ClientHarness::eventsOf(const QString& prefix) const {
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
