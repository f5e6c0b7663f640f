#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMetaType>
#include <QString>
#include <array>

#include "network/messagecodes.h"

// One message of the game's text protocol: a code, its payload text and, for
// a reliable message on a datagram connection, its sequence number (-1 none).
struct ConnectionMessage {
    static constexpr int kCodeCount = static_cast<int>(MessageCodes::kCount);
    static constexpr int kNoNumber = -1;

    ConnectionMessage();
    ConnectionMessage(const QString& type, const QString& content, int number = kNoNumber);
    ConnectionMessage(MessageCode code, const QString& content, int number = kNoNumber);

    QString type;
    QString content;
    int number = kNoNumber;

    // The code table in its fixed order.
    static const std::array<QString, kCodeCount>& codes();
    static const QString& undefinedType();
    static const QString& codeText(MessageCode code);
    // Index of a code in the table, -1 when the text is none of them.
    static int codeIndex(QByteArrayView word);
    static int codeIndex(const QString& type);

    // The message's code index, -1 for "Undefined" or an unknown type.
    int code() const { return codeIndex(type); }

    // The packet: type, space, decimal body length, space, body; the body is
    // "S<number>" or "N", a space and the content, all UTF-8.
    QByteArray encode() const;
    void encodeTo(QByteArray& out) const;

    friend bool operator==(const ConnectionMessage& a, const ConnectionMessage& b) {
        return a.type == b.type && a.content == b.content && a.number == b.number;
    }
};

Q_DECLARE_METATYPE(ConnectionMessage)
