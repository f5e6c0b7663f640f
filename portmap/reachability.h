#pragma once

#include <QCoreApplication>
#include <QString>

#include "portmap/portmapping.h"

// What a port mapping means for players who want to join, as one line. The
// game's lobby speaks to the host (translated); the dedicated server prints
// its fixed lines for scripts that read them.
class Reachability {
    Q_DECLARE_TR_FUNCTIONS(Reachability)

public:
    enum class Audience { Lobby, Console };

    // Empty when there is nothing to say: not asked for, or (console) still asking.
    static QString line(const PortMapping& mapping, Audience audience);
};
