#include "portmapping.h"

QString PortMapping::publicEndpoint() const {
    if (state != State::Open) {
        return {};
    }
    return QStringLiteral("%1:%2").arg(publicAddress.toString()).arg(externalPort);
}

bool PortMapping::behindAnotherNat() const {
    if (state != State::Open) {
        return false;
    }
    static const char* const kNotPublic[] = {"10.0.0.0/8",    "172.16.0.0/12",  "192.168.0.0/16",
                                             "100.64.0.0/10", "169.254.0.0/16", "127.0.0.0/8",
                                             "0.0.0.0/8",     "fc00::/7",       "fe80::/10"};
    for (const char* subnet : kNotPublic) {
        if (publicAddress.isInSubnet(QHostAddress::parseSubnet(QLatin1String(subnet)))) {
            return true;
        }
    }
    return publicAddress.isNull() || publicAddress.isLoopback();
}
