#pragma once

#include <QTimer>
#include <functional>

class SessionChannels;

// The start and resume countdowns: three steps one interval apart, each told
// to the players as it is reached, a start's with the field's width. The
// server decides what
// happens when one runs out; the step itself comes through onStep, so that
// the server can take its mutex first.
class ServerCountdown {
public:
    ServerCountdown(SessionChannels& players, int stepMs, std::function<void()> onStep);

    bool running() const { return timer_.isActive(); }
    bool isResume() const { return isResume_; }
    // Tells the players the first count and starts the steps; connId is the
    // client whose start or pause began it.
    void start(bool isResume, int connId, int fieldsizeX);
    void stop() { timer_.stop(); }
    // Counts down one and tells the players; true once it reached 0, which
    // stops it. A countdown stopped while its step was waiting does nothing.
    bool step(int fieldsizeX);

private:
    void tell(int fieldsizeX);

    SessionChannels& players_;
    QTimer timer_;
    int count_ = 0;
    bool isResume_ = false;
    int connId_ = -1;
};
