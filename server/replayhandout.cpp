#include "server/replayhandout.h"

ReplayHandout::ReplayHandout(Send send, int intervalMs) : send_(std::move(send)) {
    timer_.setInterval(intervalMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { sendNext(); });
}

void ReplayHandout::give(int clientId, const QByteArray& replay) {
    if (replay.isEmpty()) {
        return;
    }
    out_[clientId] = {replay, 0};
    if (!timer_.isActive()) {
        sendNext();  // the first pieces at once, the rest paced
        if (!out_.empty()) {
            timer_.start();
        }
    }
}

void ReplayHandout::sendNext() {
    constexpr int kPiece = PayloadCodec::kReplayPieceBytes;
    for (auto it = out_.begin(); it != out_.end();) {
        Out& o = it->second;
        const int count = int((o.bytes.size() + kPiece - 1) / kPiece);
        send_(it->first, {o.next, count, o.bytes.mid(qsizetype(o.next) * kPiece, kPiece)});
        it = ++o.next >= count ? out_.erase(it) : std::next(it);
    }
    if (out_.empty()) {
        timer_.stop();
    }
}
