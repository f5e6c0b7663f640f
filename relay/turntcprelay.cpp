#include "turntcprelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>

#include "relay/sockaddress.h"

namespace {

constexpr qsizetype kMaxControlBuffer = 65536;

}  // namespace

struct TurnTcpRelay::DataConnection {
    int fd = -1;
    QByteArray request;  // the bind, until written
    QHostAddress peer;
    quint16 peerPort = 0;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
    QTimer deadline;
};

TurnTcpRelay::TurnTcpRelay(const TurnTimings& timings, QObject* parent)
    : TurnSession(6, timings, parent) {
    connect(&control_, &QTcpSocket::connected, this, [this] { opened(); });
    connect(&control_, &QTcpSocket::readyRead, this, &TurnTcpRelay::processReadyRead);
    connect(&control_, &QTcpSocket::errorOccurred, this, [this] {
        fail(QStringLiteral("the relay's control connection failed: ") + control_.errorString());
    });
}

TurnTcpRelay::~TurnTcpRelay() {
    close();
}

void TurnTcpRelay::open(const QHostAddress& address, quint16 port) {
    control_.connectToHost(address, port);
}

void TurnTcpRelay::close() {
    while (!binding_.empty()) {
        drop(binding_.back().get());
    }
    control_.abort();
}

void TurnTcpRelay::write(const QByteArray& bytes) {
    control_.write(bytes);
}

void TurnTcpRelay::processReadyRead() {
    buffer_ += control_.readAll();
    while (true) {
        const qsizetype size = StunMessage::sizeOf(buffer_);
        if (size < 0 || buffer_.size() > kMaxControlBuffer) {
            fail(QStringLiteral("the relay sent what is no STUN message"));
            control_.abort();
            return;
        }
        if (size == 0 || buffer_.size() < size) {
            return;
        }
        const std::optional<StunMessage> m =
            StunMessage::parse(QByteArrayView(buffer_).first(size));
        buffer_.remove(0, size);
        if (m) {
            receive(*m);
        }
    }
}

void TurnTcpRelay::indication(const StunMessage& message) {
    const std::optional<QByteArray> id = message.value(StunMessage::ConnectionId);
    const auto peer = message.address(StunMessage::XorPeerAddress);
    if (message.method == StunMessage::ConnectionAttempt && id && peer) {
        bind(*id, peer->first, peer->second);
    }
}

void TurnTcpRelay::bind(const QByteArray& connectionId, const QHostAddress& peer,
                        quint16 peerPort) {
    const SockAddress to = SockAddress::of(server_, serverPort_);
    const int fd = ::socket(to.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    if (::connect(fd, to.get(), to.length) < 0 && errno != EINPROGRESS) {
        ::close(fd);
        return;
    }
    auto c = std::make_unique<DataConnection>();
    c->fd = fd;
    c->peer = peer;
    c->peerPort = peerPort;
    StunMessage m = StunMessage::make(StunMessage::ConnectionBind, StunMessage::Request);
    m.add(StunMessage::ConnectionId, connectionId);
    c->request = signedRequest(m);
    DataConnection* raw = c.get();
    c->writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(c->writable.get(), &QSocketNotifier::activated, this, [this, raw] { progress(raw); });
    c->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(c->readable.get(), &QSocketNotifier::activated, this, [this, raw] { progress(raw); });
    c->deadline.setSingleShot(true);
    connect(&c->deadline, &QTimer::timeout, this, [this, raw] { drop(raw); });
    c->deadline.start(timings_.requestTimeoutMs * timings_.requestTries);
    binding_.push_back(std::move(c));
}

void TurnTcpRelay::progress(DataConnection* c) {
    if (!c->request.isEmpty()) {
        const ssize_t n = ::send(c->fd, c->request.constData(), c->request.size(), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN) {
            drop(c);
            return;
        }
        if (n > 0) {
            c->request.remove(0, n);
        }
        c->writable->setEnabled(!c->request.isEmpty());
        return;
    }
    // The answer's header first, then exactly its body: nothing of the peer's.
    char header[StunMessage::kHeaderSize];
    const ssize_t peeked = ::recv(c->fd, header, sizeof header, MSG_PEEK);
    if (peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
        drop(c);
        return;
    }
    const qsizetype size =
        StunMessage::sizeOf(QByteArrayView(header, std::max<ssize_t>(0, peeked)));
    if (size < 0 || size > 4096) {
        drop(c);
        return;
    }
    if (peeked < StunMessage::kHeaderSize || size == 0) {
        return;
    }
    QByteArray answer(size, '\0');
    const ssize_t got = ::recv(c->fd, answer.data(), size, MSG_PEEK);
    if (got < size) {
        return;  // the rest is on its way
    }
    ::recv(c->fd, answer.data(), size, 0);
    const std::optional<StunMessage> m = StunMessage::parse(answer);
    if (!m || m->method != StunMessage::ConnectionBind || m->kind != StunMessage::Success) {
        drop(c);
        return;
    }
    const int fd = std::exchange(c->fd, -1);
    const QHostAddress peer = c->peer;
    const quint16 port = c->peerPort;
    drop(c);
    Q_EMIT connection(fd, peer, port);
}

void TurnTcpRelay::drop(DataConnection* c) {
    const auto it =
        std::find_if(binding_.begin(), binding_.end(), [c](const auto& p) { return p.get() == c; });
    if (it == binding_.end()) {
        return;
    }
    std::unique_ptr<DataConnection> gone = std::move(*it);
    binding_.erase(it);
    gone->readable.reset();
    gone->writable.reset();
    if (gone->fd >= 0) {
        ::close(gone->fd);
    }
}
