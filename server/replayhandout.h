#pragma once

#include <QByteArray>
#include <QTimer>
#include <functional>
#include <map>

#include "network/payloadcodec.h"

// Hands the last game's replay to the clients that ask for it, one piece per
// client and turn, so that it never holds up what the lobby says on the same
// stream.
class ReplayHandout {
public:
    using Send = std::function<void(int clientId, const PayloadCodec::ReplayPiece& piece)>;

    explicit ReplayHandout(Send send, int intervalMs = 20);

    // From the first piece again, if the client asked before.
    void give(int clientId, const QByteArray& replay);
    void forget(int clientId) { out_.erase(clientId); }
    bool giving() const { return !out_.empty(); }

private:
    void sendNext();

    struct Out {
        QByteArray bytes;
        int next = 0;
    };
    Send send_;
    std::map<int, Out> out_;
    QTimer timer_;
};
