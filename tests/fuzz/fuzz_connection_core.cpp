// The game server's core fed arbitrary messages from several peers on its
// stream and its datagram side, mixed with its own timer work: nothing
// crashes, the connection tables stay sound (player count, player limit, one
// connection per client id), and no player leaves unless its own connection
// ended or the host kicked it.
#include <QCoreApplication>
#include <QPointer>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>

#include "network/connectionfacades.h"
#include "network/messagedecoder.h"
#include "network/payloadcodec.h"
#include "server/server.h"
#include "server/serverhost.h"
#include "tests/fuzz/fuzzcheck.h"

namespace {

constexpr int kPeers = 6;
constexpr int kHostKey = 7;

// A transport without sockets: each peer has its own address, as real peers
// on other hosts would.
class FuzzTransport : public Transport {
public:
    int acceptSocket(qintptr, const Endpoint&) override { return -1; }
    int connectToHost(const QHostAddress&, int) override { return -1; }
    int connectWithHello(const QHostAddress&, int, int, int, const QString&, int) override {
        return -1;
    }
    qint64 deliver(ConnectionInfo&, const ConnectionMessage&) override { return 1; }

    // A stream is there before it says anything; on the shared datagram
    // socket only a hello or a probe opens a peer's record.
    void receive(int peer, const ConnectionMessage& message) {
        ConnectionCore& c = core();
        auto it = peers_.find(peer);
        if (it == peers_.end() || c.find(it->second) == nullptr) {
            if (c.settings().datagram && message.type != "CHI" && message.type != "CIN") {
                return;
            }
            const int connId = c.takeConnId();
            ConnectionInfo& record = c.addRecord(ConnectionCore::Table::Pending, connId,
                                                 ConnectionState::StateHandshake);
            record.accepted = true;
            record.address = QHostAddress(quint32(0x7f000001 + peer));
            peers_[peer] = connId;
            it = peers_.find(peer);
        }
        c.processContent(it->second, message);
    }

    // The client id of the peer's established connection, -1 without one.
    int clientIdOf(int peer) const {
        const ConnectionCore& c = core();
        const auto it = peers_.find(peer);
        const ConnectionInfo* record = it == peers_.end() ? nullptr : c.connection(it->second);
        return record != nullptr && c.isEstablished(record->connId) ? record->clientId : -1;
    }

private:
    std::map<int, int> peers_;
};

// One side of the game server on a FuzzTransport.
class FuzzSide : public NetServerConnection {
public:
    FuzzSide(int maxPlayers, bool datagram, bool usePassword)
        : NetServerConnection(settings(maxPlayers, datagram, usePassword),
                              std::make_unique<FuzzTransport>()) {}

    FuzzTransport& peers() const { return static_cast<FuzzTransport&>(core().transport()); }

    void checkTables() const {
        const ConnectionCore& c = core();
        int players = 0;
        QList<int> clientIds;
        for (int id : c.establishedIds()) {
            const ConnectionInfo* record = c.connection(id);
            check(record != nullptr);
            players += record->players;
            check(!clientIds.contains(record->clientId));
            check(record->clientId >= 0 && record->clientId < c.settings().maxPlayers);
            clientIds.append(record->clientId);
            check(record->channel.history().size() <= c.timings().historySize);
        }
        check(players == c.playerCount());
        check(c.playerCount() >= 0 && c.playerCount() <= c.settings().maxPlayers);
    }

private:
    static ConnectionSettings settings(int maxPlayers, bool datagram, bool usePassword) {
        ConnectionSettings s;
        s.name = QStringLiteral("Fuzz room");
        s.maxPlayers = maxPlayers;
        s.datagram = datagram;
        s.usePassword = usePassword;
        s.timeout = 3000;
        return s;
    }
};

// Who is in: the client id of every player and of every established
// connection on either side.
std::multiset<int> present(const Server& server, const FuzzSide& stream, const FuzzSide& datagram) {
    std::multiset<int> out;
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        if (const GamePlayer* p = server.simulation().player(slot)) {
            out.insert(p->connId());
        }
    }
    for (const FuzzSide* side : {&stream, &datagram}) {
        for (int id : side->core().establishedIds()) {
            out.insert(side->core().connection(id)->clientId);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication* app = new QCoreApplication(*argc, *argv);
    Q_UNUSED(app)
    return 0;
}

// Input: a settings byte (player limit, password, dedicated), then records of
// [peer and side, or 0xF0 and up for the server's own work][length][bytes].
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const int maxPlayers = 1 + data[0] % 4;
    const bool usePassword = (data[0] & 0x20) != 0;
    const bool dedicated = (data[0] & 0x40) != 0;
    auto* stream = new FuzzSide(maxPlayers, false, usePassword);
    auto* datagram = new FuzzSide(maxPlayers, true, usePassword);
    ServerSettings settings;
    settings.maxPlayers = maxPlayers;
    settings.hostKey = dedicated ? -1 : kHostKey;
    settings.usePassword = usePassword;
    settings.password = QStringLiteral("pw");
    RandomSource random(data[0]);
    ManualClock clock;
    QPointer<Server> server(
        new Server(settings, {stream, datagram, nullptr}, {}, {ServerTimings(), &random, &clock}));
    bool shutDown = false;

    MessageDecoder decoder(MessageDecoder::Mode::Datagram);
    size_t at = 1;
    while (at + 2 <= size && !shutDown) {
        const uint8_t who = data[at];
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        at += 2;
        const std::multiset<int> before = present(*server, *stream, *datagram);
        if (who >= 0xF0) {
            // What the server's timers would do meanwhile: nobody leaves by it.
            switch (data[at - 1] % 3) {
                case 0:
                    clock.advance(20);
                    server->mainLoop();
                    break;
                case 1:
                    server->updateCountDown();
                    break;
                default:
                    stream->core().updatePings();
                    datagram->core().updatePings();
                    break;
            }
            check(present(*server, *stream, *datagram) == before);
            continue;
        }
        const int peer = who % kPeers;
        FuzzSide& side = (who / kPeers) % 2 == 0 ? *stream : *datagram;
        QList<ConnectionMessage> messages;
        decoder.feed(QByteArrayView(reinterpret_cast<const char*>(data + at),
                                    static_cast<qsizetype>(length)),
                     messages);
        at += length;
        for (const ConnectionMessage& message : messages) {
            const std::multiset<int> earlier = present(*server, *stream, *datagram);
            const int own = stream->peers().clientIdOf(peer);
            const int ownDatagram = datagram->peers().clientIdOf(peer);
            const bool host =
                server->sessions().isHost(own) || server->sessions().isHost(ownDatagram);
            const int kicked =
                message.type == "CKCK" && host ? PayloadCodec::parseNumber(message.content) : -1;
            const bool onStream = &side == stream;
            const QList<int> standIns = server->computers().standIns();
            side.peers().receive(peer, message);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            if (!server) {
                // Only the host's client leaving takes its server along, and
                // only on its stream: anyone can send a datagram from its address.
                check(!dedicated && host && message.type == "CDSC" && onStream);
                shutDown = true;
                break;
            }
            const std::multiset<int> after = present(*server, *stream, *datagram);
            for (int clientId : earlier) {
                // A computer that stood in goes with the game, whoever ended it.
                if (after.count(clientId) < earlier.count(clientId) &&
                    !standIns.contains(clientId)) {
                    check(clientId == own || clientId == ownDatagram || clientId == kicked);
                }
            }
            stream->checkTables();
            datagram->checkTables();
        }
    }
    delete server.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
