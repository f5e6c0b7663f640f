#include "reliablechannel.h"

void ReliableChannel::stamp(ConnectionMessage& message) {
    message.number = ++sent_;
    while (history_.size() >= historySize_ && !history_.isEmpty()) {
        history_.removeFirst();
    }
    history_.append(message);
}

ReliableChannel::Arrival ReliableChannel::receive(int number, qint64 nowMs) {
    const qint64 ahead = qint64(number) - received_;
    if (ahead == 1) {
        received_ = number;
        lastArrivalMs_ = nowMs;
        return Arrival::Deliver;
    }
    if (ahead <= 0) {
        return Arrival::Duplicate;
    }
    return ahead <= maxGap_ ? Arrival::AskResend : Arrival::OutOfWindow;
}

ReliableChannel::Resend ReliableChannel::serve(int number) const {
    const qint64 missing = qint64(sent_) - number;
    Resend out;
    if (missing <= 0) {
        return out;
    }
    if (missing > maxGap_ || missing > history_.size()) {
        out.kind = Resend::Kind::OutOfWindow;
        return out;
    }
    out.kind = Resend::Kind::Messages;
    out.messages = history_.mid(history_.size() - missing);
    return out;
}

std::optional<int> ReliableChannel::quietRequest(qint64 nowMs, int quietMs) {
    if (quietMs <= 0 || lastArrivalMs_ < 0 || nowMs - lastArrivalMs_ < quietMs) {
        return std::nullopt;
    }
    lastArrivalMs_ = nowMs;
    return received_;
}
