#pragma once

#include <QString>

#include "apps/common/threadhosting.h"
#include "tests/network/nettestsupport.h"

// The own server of a test's client: on 127.0.0.1, at the client's pace, with
// a short start countdown, reading masterserver.ini from directory.
inline ThreadHosting localHosting(const NetworkTimings& timings, const QString& directory) {
    ThreadHosting hosting;
    hosting.timings = timings;
    hosting.serverTimings.countdownMs = 100;
    hosting.listenAddress = nettest::kLocal;
    hosting.directory = directory;
    return hosting;
}
