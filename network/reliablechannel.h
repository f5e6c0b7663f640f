#pragma once

#include <QList>
#include <optional>

#include "network/connectionmessage.h"

// The reliable side of one datagram connection: numbers the reliable
// messages it sends and keeps the last of them for resend requests, and
// takes the numbers it receives in order. No sockets and no timers: the core
// asks it what to do and does it.
//
// Each direction counts on its own: both sides send reliable messages, and
// one counter for both would take a peer's new message for a duplicate.
class ReliableChannel {
public:
    enum class Arrival {
        Deliver,    // the next number: hand the message on
        Duplicate,  // seen already: drop it
        AskResend,  // a gap the peer can fill: drop it and ask ("BRES")
        // Further ahead than any gap our peer could fill from its history:
        // no peer of ours sends that, so it has no standing and is dropped.
        OutOfWindow,
    };

    // What a resend request asks of us. A request from before what the
    // history holds is out of the window: a forger can name any number, so it
    // is dropped rather than taken as proof that the peer lost data.
    struct Resend {
        enum class Kind { Nothing, Messages, OutOfWindow } kind = Kind::Nothing;
        QList<ConnectionMessage> messages;  // in their old order and numbers
    };

    ReliableChannel(int historySize = 20, int maxGap = 20)
        : historySize_(historySize), maxGap_(maxGap) {}

    // Gives a reliable message the next number and keeps it.
    void stamp(ConnectionMessage& message);
    Arrival receive(int number, qint64 nowMs);
    // A request for everything after number.
    Resend serve(int number) const;

    // The handshake counts as a reliable arrival for the quiet-time request.
    void markArrival(qint64 nowMs) { lastArrivalMs_ = nowMs; }
    // The number to ask from when nothing reliable came for quietMs; the
    // next request then waits for another quiet spell.
    std::optional<int> quietRequest(qint64 nowMs, int quietMs);

    int received() const { return received_; }
    const QList<ConnectionMessage>& history() const { return history_; }

private:
    int historySize_;
    int maxGap_;
    int sent_ = 0;                      // number of the last reliable message sent
    int received_ = 0;                  // number of the last one delivered in order
    qint64 lastArrivalMs_ = -1;         // when it was delivered
    QList<ConnectionMessage> history_;  // reliable messages sent, oldest first
};
