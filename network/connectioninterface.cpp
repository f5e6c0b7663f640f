#include "connectioninterface.h"

ConnectionInterface::ConnectionInterface(QObject* parent) : QObject(parent) {}

ConnectionInterface::~ConnectionInterface() = default;
