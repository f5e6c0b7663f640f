#pragma once

#include "network/serversettings.h"

// Every duration of the game server in one place; tests shorten them.
struct ServerTimings {
    int tickMs = 20;
    int countdownMs = 1000;  // one step of the start and resume countdowns
    int heartbeatMs = 60000;
    int statsRetries = 3;        // repeats after the first request
    int statsTimeoutMs = 30000;  // a stats request without an answer counts as failed
};
