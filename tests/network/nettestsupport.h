#pragma once

// Helpers for the network tests: short timings, a TCP listener that hands
// sockets to a connection object, and a raw UDP peer that speaks our framing
// so tests can play a server, a client or the master server by hand.
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <memory>

#include "network/connectionfacades.h"
#include "network/connectionmessage.h"
#include "network/messagedecoder.h"
#include "network/networktimings.h"
#include "network/peertransport.h"
#include "network/shareddatagramtransport.h"
#include "server/playersessions.h"

namespace nettest {

inline const QHostAddress kLocal = QHostAddress::LocalHost;

// Every wait of the protocol shortened so that no test waits for seconds.
inline NetworkTimings fastTimings() {
    NetworkTimings t;
    t.resendIntervalMs = 40;
    t.handshakeTimeoutMs = 1500;
    t.disconnectTimeoutMs = 300;
    t.framingTimeoutMs = 200;
    return t;
}

// Who may join a test server: the holder of hostKey first, with the password
// if there is one.
inline PlayerSessions::Rules joinRules(int hostKey, const QString& password = QString()) {
    PlayerSessions::Rules r;
    r.hostKey = hostKey;
    r.usePassword = !password.isEmpty();
    r.password = password;
    return r;
}

// The game server's rules of who may join, for a server connection tested
// on its own: a datagram hello without a stream joined before is taken as if
// that stream had come first with the id it asks for.
class TestGate : public PlayerGate {
public:
    explicit TestGate(const PlayerSessions::Rules& rules) : sessions(rules) {}

    Verdict admit(GameChannel channel, const PayloadCodec::Hello& hello,
                  const QHostAddress& from) override {
        if (channel == GameChannel::Stream || sessions.find(hello.requestedId) != nullptr) {
            return sessions.admit(channel, hello, from);
        }
        const Verdict stream = sessions.admit(GameChannel::Stream, hello, from);
        if (stream.outcome != HelloOutcome::Accepted) {
            return stream;
        }
        PayloadCodec::Hello again = hello;
        again.requestedId = stream.clientId;
        return sessions.admit(channel, again, from);
    }
    void left(GameChannel channel, int clientId) override {
        sessions.left(channel, clientId);
        if (channel == GameChannel::Datagram) {
            sessions.left(GameChannel::Stream, clientId);  // the stream was never there
        }
    }
    bool isHost(int clientId) const override { return sessions.isHost(clientId); }
    int playerCount() const override { return sessions.playerCount(); }
    QList<int> seats() const override { return sessions.seats(); }

    PlayerSessions sessions;
};

// A game server's stream or datagram side with its own gate.
class GatedServer : public NetServerConnection {
public:
    GatedServer(const ConnectionSettings& s, std::unique_ptr<Transport> transport,
                const PlayerSessions::Rules& rules = {})
        : NetServerConnection(s, std::move(transport)), gate(rules) {
        setGate(&gate);
    }
    ~GatedServer() override { setGate(nullptr); }

    TestGate gate;
};

// A client's side: no name, key or password of its own, no pings.
inline ConnectionSettings clientSettings(bool datagram, int timeout = 10000) {
    ConnectionSettings s;
    s.datagram = datagram;
    s.timeout = timeout;
    s.timings = fastTimings();
    return s;
}

// A game server's side as the server makes it, with the fast timings.
inline ConnectionSettings serverSettings(bool datagram = false, int timeout = 3000) {
    ConnectionSettings s = clientSettings(datagram, timeout);
    s.name = QStringLiteral("Room");
    return s;
}

inline std::unique_ptr<NetClientConnection> clientStream(int timeout = 10000) {
    return std::make_unique<NetClientConnection>(
        clientSettings(false, timeout), std::make_unique<PeerTransport>(PeerTransport::Kind::Tcp));
}

inline std::unique_ptr<NetClientConnection> clientDatagram(int timeout = 10000) {
    return std::make_unique<NetClientConnection>(
        clientSettings(true, timeout), std::make_unique<PeerTransport>(PeerTransport::Kind::Udp));
}

inline std::unique_ptr<NetMasterConnection> masterLink() {
    return std::make_unique<NetMasterConnection>(
        clientSettings(false, -1), std::make_unique<PeerTransport>(PeerTransport::Kind::Udp));
}

// "masterserver.ini" in dir naming a master server on 127.0.0.1 at masterPort;
// with no port the file is not written (no master server).
inline QString writeMasterFile(const QTemporaryDir& dir, int masterPort = -1) {
    const QString path = dir.filePath(QStringLiteral("masterserver.ini"));
    QFile file(path);
    if (masterPort > 0 && file.open(QIODevice::WriteOnly)) {
        file.write(QStringLiteral("[Master]\nGeneral\\Address=127.0.0.1\nGeneral\\Port=%1\n")
                       .arg(masterPort)
                       .toUtf8());
    }
    return path;
}

// Starts one of our programs and waits for the line that tells its port
// (the first capture of portLine); port is -1 when none came.
inline std::unique_ptr<QProcess> launch(const QString& program, const QStringList& args,
                                        const QRegularExpression& portLine, int& port) {
    auto process = std::make_unique<QProcess>();
    process->start(program, args);
    QByteArray out;
    const bool started = QTest::qWaitFor(
        [&] {
            out += process->readAllStandardOutput();
            return portLine.match(QString::fromUtf8(out)).hasMatch();
        },
        10000);
    port = started ? portLine.match(QString::fromUtf8(out)).captured(1).toInt() : -1;
    return process;
}

// A bound UDP socket on a free local port, for a SharedDatagramTransport to take over.
inline QUdpSocket* boundUdpSocket() {
    auto* socket = new QUdpSocket;
    if (!socket->bind(kLocal, 0)) {
        qFatal("cannot bind a local UDP socket");
    }
    return socket;
}

// A local port nobody listens on.
inline int freePort() {
    return std::unique_ptr<QUdpSocket>(boundUdpSocket())->localPort();
}

// Hands every accepted socket descriptor to a connection object.
class Listener : public QTcpServer {
public:
    explicit Listener(ServerConnection& target) : target_(target) {
        if (!listen(kLocal, 0)) {
            qFatal("cannot listen on a local TCP port");
        }
    }

protected:
    void incomingConnection(qintptr descriptor) override { target_.acceptSocket(descriptor, {}); }

private:
    ServerConnection& target_;
};

// A UDP socket that sends and collects framed messages, one per datagram.
class RawPeer : public QObject {
public:
    // Another 127.x.y.z address plays a peer on another host.
    explicit RawPeer(const QHostAddress& address = kLocal) {
        if (!socket_.bind(address, 0)) {
            qFatal("cannot bind a local UDP socket");
        }
        connect(&socket_, &QUdpSocket::readyRead, this, [this] {
            while (socket_.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket_.receiveDatagram();
                lastSender = d.senderAddress();
                lastSenderPort = static_cast<int>(d.senderPort());
                MessageDecoder decoder(MessageDecoder::Mode::Datagram);
                decoder.feed(d.data(), received);
            }
        });
    }

    int port() const { return socket_.localPort(); }
    void sendRaw(const QByteArray& bytes, int toPort) {
        socket_.writeDatagram(bytes, kLocal, static_cast<quint16>(toPort));
    }
    void send(const ConnectionMessage& message, int toPort) { sendRaw(message.encode(), toPort); }
    void answer(const ConnectionMessage& message) {
        socket_.writeDatagram(message.encode(), lastSender, static_cast<quint16>(lastSenderPort));
    }
    QList<ConnectionMessage> ofType(const QString& type) const {
        QList<ConnectionMessage> out;
        for (const ConnectionMessage& m : received) {
            if (m.type == type) {
                out.append(m);
            }
        }
        return out;
    }
    int count(const QString& type) const { return static_cast<int>(ofType(type).size()); }

    QList<ConnectionMessage> received;
    QHostAddress lastSender;
    int lastSenderPort = -1;

private:
    QUdpSocket socket_;
};

}  // namespace nettest
