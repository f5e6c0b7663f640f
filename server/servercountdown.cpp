#include "server/servercountdown.h"

#include "network/connectioninterface.h"

namespace {

constexpr int kSteps = 3;

}  // namespace

ServerCountdown::ServerCountdown(ServerConnection& stream, ServerConnection& datagram, int stepMs,
                                 std::function<void()> onStep)
    : stream_(stream), datagram_(datagram) {
    timer_.setInterval(stepMs);
    QObject::connect(&timer_, &QTimer::timeout, std::move(onStep));
}

void ServerCountdown::start(bool isResume, int connId, int fieldsizeX) {
    isResume_ = isResume;
    count_ = kSteps;
    connId_ = connId;
    tell(fieldsizeX);
    timer_.start();
}

bool ServerCountdown::step(int fieldsizeX) {
    if (!timer_.isActive()) {
        return false;
    }
    --count_;
    tell(fieldsizeX);
    if (count_ > 0) {
        return false;
    }
    timer_.stop();
    return true;
}

void ServerCountdown::tell(int fieldsizeX) {
    if (isResume_) {
        stream_.sendSPause(true, connId_, count_);
    } else {
        stream_.sendSStart(true, connId_, fieldsizeX, count_);
        datagram_.sendSStart(true, connId_, fieldsizeX, count_);
    }
}
