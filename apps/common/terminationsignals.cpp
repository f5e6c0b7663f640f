#include "terminationsignals.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include <pthread.h>

namespace {

int pipeEnds[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Nothing else is safe here; a full pipe only loses a repeated request.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[0], &byte, 1);
    errno = saved;
}

sigset_t terminationSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void TerminationSignals::holdUntilHandled() {
    const sigset_t set = terminationSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    install();
    // Held signals arrive now: at the handler if it is in place, otherwise
    // with their default action, as without holding.
    const sigset_t set = terminationSet();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void TerminationSignals::install() {
    if (pipeEnds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeEnds) != 0) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGINT, &action, nullptr) != 0 || ::sigaction(SIGTERM, &action, nullptr) != 0) {
        return;
    }
    notifier_ = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);
}

TerminationSignals::~TerminationSignals() {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void TerminationSignals::readSignal() {
    unsigned char byte = 0;
    if (::read(pipeEnds[1], &byte, 1) == 1) {
        Q_EMIT terminationRequested(byte);
    }
}
