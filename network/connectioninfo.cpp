#include "connectioninfo.h"

ConnectionInfo::ConnectionInfo(int connId, QObject* parent) : QObject(parent), connId(connId) {
    timeoutTimer.setSingleShot(true);
    connect(&timeoutTimer, &QTimer::timeout, this, &ConnectionInfo::processTimeout);
    connect(&resendTimer, &QTimer::timeout, this, &ConnectionInfo::processResend);
}

ConnectionInfo::~ConnectionInfo() = default;

void ConnectionInfo::processTimeout() {
    Q_EMIT gotTimeout(connId);
}

void ConnectionInfo::processResend() {
    Q_EMIT gotResend(connId);
}
