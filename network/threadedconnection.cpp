#include "threadedconnection.h"

#include <QMetaMethod>

ConnectionThread::ConnectionThread(const QString& name)
    : thread_(std::make_unique<QThread>()), home_(new QObject) {
    thread_->setObjectName(name);
    home_->moveToThread(thread_.get());
    // The home and everything adopted go on the thread as it finishes.
    QObject::connect(thread_.get(), &QThread::finished, home_, &QObject::deleteLater);
    thread_->start();
}

ConnectionThread::~ConnectionThread() {
    stop();
}

void ConnectionThread::post(std::function<void()> work) {
    if (running_) {
        QMetaObject::invokeMethod(home_, std::move(work), Qt::QueuedConnection);
    }
}

void ConnectionThread::stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    // Queued behind the work posted so far, which still runs.
    QMetaObject::invokeMethod(
        home_, [t = thread_.get()] { t->quit(); }, Qt::QueuedConnection);
    thread_->wait();
}

namespace threadedconnection {

void relaySignals(const ConnectionInterface& from, ConnectionInterface& to,
                  const QMetaObject& role) {
    const QMetaObject& events = role;
    for (int i = ConnectionInterface::staticMetaObject.methodOffset(); i < events.methodCount();
         ++i) {
        const QMetaMethod signal = events.method(i);
        if (signal.methodType() != QMetaMethod::Signal) {
            continue;
        }
        // Queued: the values are copied through their metatypes, so each
        // must be known by id before the first one travels.
        for (int p = 0; p < signal.parameterCount(); ++p) {
            Q_ASSERT(signal.parameterMetaType(p).isValid());
            signal.parameterMetaType(p).id();
        }
        const bool relayed =
            static_cast<bool>(QObject::connect(&from, signal, &to, signal, Qt::QueuedConnection));
        Q_ASSERT(relayed);
        Q_UNUSED(relayed)
    }
}

QEvent::Type dropDone() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace threadedconnection

int ThreadedClientConnection::connectWithHello(const QHostAddress& address, int port, int players,
                                               int hostKey, const QString& password,
                                               int requestedId) {
    return ask([=](ClientConnection& c) {
        return c.connectWithHello(address, port, players, hostKey, password, requestedId);
    });
}

void ThreadedClientConnection::setLocalPort(int port) {
    forward([=](ClientConnection& c) { c.setLocalPort(port); });
}

void ThreadedClientConnection::sendCReplayRequest() {
    forward([](ClientConnection& c) { c.sendCReplayRequest(); });
}

void ThreadedClientConnection::setRejoinToken(const QString& token) {
    forward([=](ClientConnection& c) { c.setRejoinToken(token); });
}

void ThreadedClientConnection::requestResend() {
    forward([](ClientConnection& c) { c.requestResend(); });
}

void ThreadedClientConnection::sendCPlayers(bool reliable, const PayloadCodec::Players& players) {
    forward([=](ClientConnection& c) { c.sendCPlayers(reliable, players); });
}

void ThreadedClientConnection::sendCMessage(bool reliable, const PayloadCodec::ChatLine& line) {
    forward([=](ClientConnection& c) { c.sendCMessage(reliable, line); });
}

void ThreadedClientConnection::sendCKick(bool reliable, int clientId) {
    forward([=](ClientConnection& c) { c.sendCKick(reliable, clientId); });
}

void ThreadedClientConnection::sendCStart(bool reliable) {
    forward([=](ClientConnection& c) { c.sendCStart(reliable); });
}

void ThreadedClientConnection::sendCRestart(bool reliable) {
    forward([=](ClientConnection& c) { c.sendCRestart(reliable); });
}

void ThreadedClientConnection::sendCInput(bool reliable, const KeyInput& keys) {
    forward([=](ClientConnection& c) { c.sendCInput(reliable, keys); });
}

void ThreadedClientConnection::sendCPause(bool reliable) {
    forward([=](ClientConnection& c) { c.sendCPause(reliable); });
}

int ThreadedMasterConnection::connectToHost(const QHostAddress& address, int port) {
    return ask([=](MasterConnection& c) { return c.connectToHost(address, port); });
}

void ThreadedMasterConnection::queryServer(const QHostAddress& address, int port) {
    forward([=](MasterConnection& c) { c.queryServer(address, port); });
}

void ThreadedMasterConnection::sendServerOnline(bool reliable, int port) {
    forward([=](MasterConnection& c) { c.sendServerOnline(reliable, port); });
}

void ThreadedMasterConnection::sendServerOffline(bool reliable, int port) {
    forward([=](MasterConnection& c) { c.sendServerOffline(reliable, port); });
}

void ThreadedMasterConnection::sendMasterTest(bool reliable) {
    forward([=](MasterConnection& c) { c.sendMasterTest(reliable); });
}

void ThreadedMasterConnection::requestServerlist(bool reliable) {
    forward([=](MasterConnection& c) { c.requestServerlist(reliable); });
}

void ThreadedMasterConnection::sendRegistration(const PayloadCodec::Registration& registration) {
    forward([=](MasterConnection& c) { c.sendRegistration(registration); });
}

void ThreadedMasterConnection::findInvite(const QString& code) {
    forward([=](MasterConnection& c) { c.findInvite(code); });
}

void ThreadedMasterConnection::queryInvitedServer(const QHostAddress& address, int port,
                                                  const QString& code, int localPort) {
    forward([=](MasterConnection& c) { c.queryInvitedServer(address, port, code, localPort); });
}
