// A server-side connection object fed arbitrary messages from several peers,
// mixed with the server's own sends: nothing crashes, and the tables stay
// sound (player count, player limit, one connection per client id).
#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <map>

#include "network/connectionabstract.h"
#include "network/messagedecoder.h"
#include "tests/fuzz/fuzzcheck.h"

namespace {

class FuzzConnection : public ConnectionAbstract {
public:
    FuzzConnection(int maxPlayers, bool datagram)
        : ConnectionAbstract("Fuzz room", maxPlayers, false, false, 0, datagram, 7, true, "pw",
                             3000) {}

    int acceptSocket(qintptr) override { return -1; }
    int connectToHost(const QHostAddress&, int) override { return -1; }
    int connectWithHello(const QHostAddress&, int, int, int, const QString&, int) override {
        return -1;
    }

    // Like a shared datagram socket: a peer's first hello or probe opens its record.
    void receive(int peer, const ConnectionMessage& message) {
        auto it = peers_.find(peer);
        if (it == peers_.end() || find(it->second) == nullptr) {
            if (message.type != "CHI" && message.type != "CIN") {
                return;
            }
            const int connId = takeConnId();
            addRecord(Table::Pending, connId, ConnectionState::StateHandshake);
            peers_[peer] = connId;
            it = peers_.find(peer);
        }
        processContent(it->second, message);
    }

    void act(uint8_t op) {
        switch (op % 8) {
            case 0:
                sendSStart(true, 0, 24, 3);
                break;
            case 1:
                sendSGameOver(true, 10, 1, "00010");
                break;
            case 2:
                updatePings();
                break;
            case 3:
                disconnectClient(op / 8 % 5 - 1, false);
                break;
            case 4:
                sendSRestart(true, 0);
                break;
            case 5:
                sendSMessage(true, -1, "notice");
                break;
            case 6:
                requestResend();
                break;
            default:
                sendSKick(true, op / 8 % 4);
                break;
        }
    }

    void checkTables() const {
        int players = 0;
        QList<int> clientIds;
        for (int id : establishedIds()) {
            const ConnectionInfo* record = connection(id);
            check(record != nullptr);
            players += record->players;
            check(!clientIds.contains(record->clientId));
            clientIds.append(record->clientId);
            check(record->history.size() <= timings().historySize);
        }
        check(players == playerCount());
        check(playerCount() >= 0 && playerCount() <= maxPlayers());
        for (int clientId : clientIds) {
            check(clientId >= 0 && clientId < maxPlayers());
        }
    }

    int sent = 0;

protected:
    qint64 deliver(ConnectionInfo&, const ConnectionMessage&) override {
        ++sent;
        return 1;
    }
    void processMessage(int, const QHostAddress&, int, const ConnectionMessage&) override {}
    void processSocketError(int, QAbstractSocket::SocketError) override {}

private:
    std::map<int, int> peers_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication* app = new QCoreApplication(*argc, *argv);
    Q_UNUSED(app)
    return 0;
}

// Input: a settings byte, then records of [peer or action][length][datagram bytes].
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    FuzzConnection connection(1 + data[0] % 4, (data[0] & 0x80) != 0);
    MessageDecoder decoder(MessageDecoder::Mode::Datagram);
    size_t at = 1;
    while (at + 2 <= size) {
        const uint8_t who = data[at];
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        at += 2;
        if (who >= 0xF0) {
            connection.act(data[at - 1]);
        } else {
            QList<ConnectionMessage> messages;
            decoder.feed(QByteArrayView(reinterpret_cast<const char*>(data + at),
                                        static_cast<qsizetype>(length)),
                         messages);
            for (const ConnectionMessage& message : messages) {
                connection.receive(who % 6, message);
                connection.checkTables();
            }
            at += length;
        }
        connection.checkTables();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
