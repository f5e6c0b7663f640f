#include "portmapping.h"

QString PortMapping::publicEndpoint() const {
    if (state != State::Open) {
        return {};
    }
    return QStringLiteral("%1:%2").arg(publicAddress.toString()).arg(externalPort);
}
