#pragma once

#include <QByteArray>
#include <QString>

// Credentials for a TURN server that shares a secret with us (coturn's
// use-auth-secret): the user name carries its expiry, "expiry:name", and the
// password is base64(HMAC-SHA1(secret, user name)), so the relay checks them
// without asking anyone and they are worth nothing after the expiry.
struct TurnCredentials {
    QString username;
    QString password;
};

TurnCredentials restCredentials(const QByteArray& secret, const QString& name,
                                qint64 expiryUnixSeconds);
