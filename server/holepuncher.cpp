#include "holepuncher.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "relay/sockaddress.h"
#include "serverlog.h"

struct HolePuncher::Attempt {
    Endpoint joiner;
    int fd = -1;
    quint16 port = 0;  // where the stream leaves from, kept across tries
    std::unique_ptr<QSocketNotifier> writable;
    QTimer deadline;
    QTimer retry;

    ~Attempt() {
        writable.reset();
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

HolePuncher::HolePuncher(SendDatagram send, const Timings& timings, QObject* parent)
    : QObject(parent), send_(std::move(send)), timings_(timings) {}

HolePuncher::~HolePuncher() = default;

int HolePuncher::open(const Endpoint& joiner) {
    if (static_cast<int>(attempts_.size()) >= kMaxWaiting) {
        qCWarning(lcServer) << "too many joiners to open towards; not" << joiner.text();
        return 0;
    }
    auto a = std::make_unique<Attempt>();
    a->joiner = joiner;
    if (!connectFrom(*a)) {
        return 0;
    }
    // The first at once: it must leave before the game says it is ready.
    send_(joiner);
    for (int i = 1; i < timings_.datagrams; ++i) {
        QTimer::singleShot(i * timings_.datagramGapMs, this, [this, joiner] { send_(joiner); });
    }
    Attempt* raw = a.get();
    raw->deadline.setSingleShot(true);
    connect(&raw->deadline, &QTimer::timeout, this, [this, raw] { drop(raw); });
    raw->deadline.start(timings_.streamMs);
    raw->retry.setSingleShot(true);
    connect(&raw->retry, &QTimer::timeout, this, [this, raw] {
        if (!connectFrom(*raw)) {
            drop(raw);
        }
    });
    attempts_.push_back(std::move(a));
    return raw->port;
}

bool HolePuncher::connectFrom(Attempt& a) {
    const SockAddress to = SockAddress::of(a.joiner.address, static_cast<quint16>(a.joiner.port));
    const int fd = ::socket(to.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    // Again from the same port: that is where the joiner connects to.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    SockAddress here = SockAddress::of(to.family() == AF_INET ? QHostAddress(QHostAddress::AnyIPv4)
                                                              : QHostAddress(QHostAddress::AnyIPv6),
                                       a.port);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::bind(fd, here.get(), here.length) < 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) < 0 ||
        (::connect(fd, to.get(), to.length) < 0 && errno != EINPROGRESS)) {
        qCDebug(lcServer) << "no stream towards" << a.joiner.text() << ":" << std::strerror(errno);
        ::close(fd);
        return false;
    }
    a.port = ntohs(bound.ss_family == AF_INET
                       ? reinterpret_cast<const sockaddr_in*>(&bound)->sin_port
                       : reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port);
    a.writable.reset();
    if (a.fd >= 0) {
        ::close(a.fd);
    }
    a.fd = fd;
    a.writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    Attempt* raw = &a;
    connect(a.writable.get(), &QSocketNotifier::activated, this, [this, raw] { progress(raw); });
    return true;
}

void HolePuncher::progress(Attempt* a) {
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(a->fd, SOL_SOCKET, SO_ERROR, &error, &length);
    a->writable->setEnabled(false);
    if (error != 0) {
        // Refused (a router that answers instead of dropping): once more
        // from the same port, until the joiner's side is open too.
        qCDebug(lcServer) << "stream towards" << a->joiner.text() << "failed:" << error;
        a->retry.start(timings_.streamRetryMs);
        return;
    }
    qCInfo(lcServer) << "stream punched through to" << a->joiner.text() << "from port" << a->port;
    const int fd = std::exchange(a->fd, -1);
    const Endpoint joiner = a->joiner;
    drop(a);
    Q_EMIT connected(fd, joiner);
}

void HolePuncher::drop(Attempt* a) {
    const auto at = std::find_if(attempts_.begin(), attempts_.end(),
                                 [a](const std::unique_ptr<Attempt>& p) { return p.get() == a; });
    if (at == attempts_.end()) {
        return;
    }
    // Called from its own notifier or timers: it goes once they are done.
    a->writable->setEnabled(false);
    a->deadline.stop();
    a->retry.stop();
    QTimer::singleShot(0, this, [gone = std::shared_ptr<Attempt>(std::move(*at))] {});
    attempts_.erase(at);
}
