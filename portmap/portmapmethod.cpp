#include "portmapmethod.h"

const char* protocolName(MapProtocol protocol) {
    return protocol == MapProtocol::Tcp ? "TCP" : "UDP";
}
