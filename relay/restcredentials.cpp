#include "restcredentials.h"

#include <QMessageAuthenticationCode>

TurnCredentials restCredentials(const QByteArray& secret, const QString& name,
                                qint64 expiryUnixSeconds) {
    const QString user = QString::number(expiryUnixSeconds) + u':' + name;
    return {user, QString::fromLatin1(QMessageAuthenticationCode::hash(user.toUtf8(), secret,
                                                                       QCryptographicHash::Sha1)
                                          .toBase64())};
}
