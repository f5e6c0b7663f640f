#include "server/servercountdown.h"

#include "server/sessionchannels.h"

namespace {

constexpr int kSteps = 3;

}  // namespace

ServerCountdown::ServerCountdown(SessionChannels& players, int stepMs, std::function<void()> onStep)
    : players_(players) {
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
        players_.pause({connId_, count_});
    } else {
        players_.start({connId_, fieldsizeX, count_});
    }
}
