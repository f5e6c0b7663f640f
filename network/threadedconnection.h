#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>

#include "network/connectioninterface.h"

// A thread that serves connections, so that a long frame on the owner's
// thread holds back no datagram and no ping answer. It runs its event loop
// from construction until stop(); the objects it is given live, work and die
// there.
//
// Threading: every member is called from the owner's thread only. The thread
// itself never waits for its owner, so the owner may wait for it.
class ConnectionThread {
public:
    explicit ConnectionThread(const QString& name = QStringLiteral("quadrell-net"));
    // stop()
    ~ConnectionThread();
    ConnectionThread(const ConnectionThread&) = delete;
    ConnectionThread& operator=(const ConnectionThread&) = delete;

    bool running() const { return running_; }
    QThread* thread() const { return thread_.get(); }

    // Runs work on the thread after everything posted before it. Nothing
    // happens once the thread has stopped.
    void post(std::function<void()> work);

    // Runs work on the thread, after everything posted before it, and waits
    // for its result; `stopped` once the thread has stopped.
    template <class R>
    R call(const std::function<R()>& work, R stopped) {
        if (!running_) {
            return stopped;
        }
        R result = stopped;
        QMetaObject::invokeMethod(
            home_, [&] { result = work(); }, Qt::BlockingQueuedConnection);
        return result;
    }

    // Makes an object on the thread and keeps it there: it is deleted there
    // when the thread stops, unless its owner deletes it there before.
    // nullptr once the thread has stopped.
    template <class T>
    T* adopt(const std::function<std::unique_ptr<T>()>& make) {
        return call<T*>(
            [&]() -> T* {
                std::unique_ptr<T> made = make();
                made->setParent(home_);
                return made.release();
            },
            nullptr);
    }

    // Runs what was posted, deletes everything adopted (on the thread), ends
    // the thread and waits for it.
    void stop();

private:
    std::unique_ptr<QThread> thread_;
    // Parent of the adopted objects; lives on the thread and is deleted there
    // when it finishes.
    QObject* home_;
    bool running_ = true;
};

namespace threadedconnection {

// Re-emits every signal of the role (ConnectionInterface's and the role
// facade's own) that `from` raises on its thread from `to` on to's thread,
// with the same values, in order.
void relaySignals(const ConnectionInterface& from, ConnectionInterface& to,
                  const QMetaObject& role);

// The mark a connection's thread posts behind an immediate drop.
QEvent::Type dropDone();

}  // namespace threadedconnection

// A connection served on a ConnectionThread, seen from the owner's thread: it
// makes the real connection there, forwards every call to it as a queued
// call in call order, and re-emits every signal it raises. Nothing on the
// owner's thread touches the real connection after it was made.
//
// The real connection is deleted on its thread when the proxy is destroyed
// (after every call made before), or when the thread stops first; calls after
// that do nothing.
template <class Interface>
class ThreadedConnection : public Interface {
public:
    using Factory = std::function<std::unique_ptr<Interface>()>;

    ThreadedConnection(std::shared_ptr<ConnectionThread> thread, const Factory& make,
                       QObject* parent = nullptr)
        : Interface(parent), thread_(std::move(thread)), real_(thread_->adopt<Interface>([&] {
              // Relayed before the real connection runs: nothing it says is lost.
              std::unique_ptr<Interface> real = make();
              threadedconnection::relaySignals(*real, *this, Interface::staticMetaObject);
              return real;
          })) {}

    ~ThreadedConnection() override {
        // Waits for the deletion: once it is over, the real connection can
        // post nothing more to this object.
        thread_->call<bool>(
            [real = real_] {
                delete real;
                return true;
            },
            false);
    }

    ThreadedConnection(const ThreadedConnection&) = delete;
    ThreadedConnection& operator=(const ThreadedConnection&) = delete;

    void disconnectClient(int clientId, bool immediately) override {
        if (clientId >= 0 || !immediately || !thread_->running()) {
            forward([=](Interface& c) { c.disconnectClient(clientId, immediately); });
            return;
        }
        // Gone at once, as if on one thread: what the connection said before
        // the drop, still on its way here, is not heard. The mark comes back
        // behind it (the thread posts both, in order). The event queue owns
        // the mark; one still queued when this object dies goes with it, and
        // none can come later (the destructor waits for the thread).
        ++dropping_;
        thread_->post([real = real_, self = this] {
            real->disconnectClient(-1, true);
            QCoreApplication::postEvent(self, new QEvent(threadedconnection::dropDone()));
        });
    }

    bool event(QEvent* e) override {
        if (e->type() == threadedconnection::dropDone()) {
            --dropping_;
            return true;
        }
        if (e->type() == QEvent::MetaCall && dropping_ > 0) {
            return true;  // a relayed event from before the drop
        }
        return Interface::event(e);
    }

protected:
    // Queues op for the real connection; arguments travel in op's captures,
    // by value.
    template <class Op>
    void forward(Op op) {
        if (real_ != nullptr) {
            thread_->post([real = real_, op = std::move(op)] { op(*real); });
        }
    }

    // A call whose answer is needed: waits for the thread. It cannot deadlock
    // because the thread never waits for its owner; it is used only when a
    // connection opens, where the wait is one round through the thread's
    // queue. -1 once the thread has stopped.
    template <class Op>
    int ask(Op op) {
        if (real_ == nullptr) {
            return -1;
        }
        return thread_->call<int>([real = real_, &op] { return op(*real); }, -1);
    }

private:
    std::shared_ptr<ConnectionThread> thread_;
    Interface* real_;   // lives on the thread, a child of its home
    int dropping_ = 0;  // immediate drops whose mark has not come back yet
};

// A client's stream or datagram connection on a ConnectionThread.
class ThreadedClientConnection final : public ThreadedConnection<ClientConnection> {
public:
    using ThreadedConnection::ThreadedConnection;

    // The id comes from the real connection's own counter, so the call waits
    // for it (see ask).
    int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                         const QString& password, int requestedId) override;
    void setLocalPort(int port) override;
    void setRejoinToken(const QString& token) override;
    void requestResend() override;
    void sendCPlayers(bool reliable, const PayloadCodec::Players& players) override;
    void sendCMessage(bool reliable, const PayloadCodec::ChatLine& line) override;
    void sendCKick(bool reliable, int clientId) override;
    void sendCStart(bool reliable) override;
    void sendCRestart(bool reliable) override;
    void sendCInput(bool reliable, const KeyInput& keys) override;
    void sendCPause(bool reliable) override;
    void sendCReplayRequest() override;
};

// The master server link and the probes on a ConnectionThread.
class ThreadedMasterConnection final : public ThreadedConnection<MasterConnection> {
public:
    using ThreadedConnection::ThreadedConnection;

    // Waits for the id, as connectWithHello does.
    int connectToHost(const QHostAddress& address, int port) override;
    void queryServer(const QHostAddress& address, int port) override;
    void sendServerOnline(bool reliable, int port) override;
    void sendServerOffline(bool reliable, int port) override;
    void sendMasterTest(bool reliable) override;
    void requestServerlist(bool reliable) override;
    void sendRegistration(const PayloadCodec::Registration& registration) override;
    void findInvite(const QString& code) override;
    void queryInvitedServer(const QHostAddress& address, int port, const QString& code,
                            int localPort) override;
};
