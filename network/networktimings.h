#pragma once

// Every duration of the connection layer in one place. The defaults are the
// protocol's; tests shorten them so that nothing waits for real time-outs.
struct NetworkTimings {
    int resendIntervalMs = 250;      // hello, probe and announcement repetition
    int maxResends = 6;              // repetitions after the first send (7 sends in all)
    int handshakeTimeoutMs = 10000;  // new connections on the server side
    int disconnectTimeoutMs = 5000;  // graceful leave without an answer
    int framingTimeoutMs = 5000;     // incomplete header or body on a stream
    int serverUdpPingMs = 1000;      // ping interval of the server's datagram side
    int serverTcpPingMs = 10000;     // ping interval of the server's stream side
    int serverInactivityMs = 3000;   // established datagram peers, server side
    int clientInactivityMs = 10000;  // established connections, client side
    int historySize = 20;            // reliable datagrams kept for resend requests
    int maxResendGap = 20;           // a gap up to this asks for a resend; more is loss
    // The client's datagram connection sends an unreliable "SLNE" this often:
    // in the lobby the server's inactivity time-out would otherwise rest on
    // the answers to its pings alone, and three lost rounds in a row end it.
    int keepAliveMs = 250;
    // ... and after this long without a reliable datagram it asks for what it
    // may have missed: the lost last message of a burst (a landing, the end
    // of a countdown) would otherwise show only with the next one, seconds
    // later.
    int quietResendMs = 500;
    // Answers to datagrams from peers without a connection ("CIN", hellos):
    // per source address a burst of this many, then one every refill period.
    int strangerBurst = 20;
    int strangerRefillMs = 100;
    // While the server list is shown, the local networks are asked again this
    // often: new games show up and stopped ones drop out.
    int lanScanMs = 5000;
    // A join's probe of its server ends by then, answered or not, even if the
    // end of the probe's own repetition (about 2 s) never reaches the client.
    int joinProbeMs = 5000;
};
