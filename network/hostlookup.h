#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

// Looks a host name up without blocking the event loop: done gets the
// addresses found (none when the name does not resolve), later, from the event
// loop, and only while context lives.
using HostLookup = std::function<void(const QString& name, QObject* context,
                                      std::function<void(QList<QHostAddress>)> done)>;

// The system's resolver (QHostInfo).
HostLookup systemHostLookup();

// A numeric address goes to done at once; anything else is looked up, and the
// first IPv4 address found (else the first one) goes to done. A null address
// means nothing was found.
void resolveHost(const HostLookup& lookup, const QString& text, QObject* context,
                 std::function<void(QHostAddress)> done);
