#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <optional>
#include <utility>

// One STUN message (the TURN relay's requests, answers and indications):
// method, class, transaction id and attributes, written with a
// MESSAGE-INTEGRITY when given a key. Parsing is total: anything that is not a
// well-formed message is nothing.
struct StunMessage {
    enum Method : quint16 {
        Binding = 0x001,
        Allocate = 0x003,
        Refresh = 0x004,
        Send = 0x006,
        Data = 0x007,
        CreatePermission = 0x008,
        ChannelBind = 0x009,
        ConnectionBind = 0x00B,
        ConnectionAttempt = 0x00C,
    };
    enum Class : quint16 { Request = 0x000, Indication = 0x010, Success = 0x100, Error = 0x110 };
    enum Attribute : quint16 {
        Username = 0x0006,
        MessageIntegrity = 0x0008,
        ErrorCode = 0x0009,
        ChannelNumber = 0x000C,
        Lifetime = 0x000D,
        XorPeerAddress = 0x0012,
        DataValue = 0x0013,
        Realm = 0x0014,
        Nonce = 0x0015,
        XorRelayedAddress = 0x0016,
        RequestedTransport = 0x0019,
        XorMappedAddress = 0x0020,
        ConnectionId = 0x002A,
    };
    static constexpr quint32 kMagicCookie = 0x2112A442;
    static constexpr int kHeaderSize = 20;
    static constexpr int kMaxAttributes = 64;

    quint16 method = 0;
    quint16 kind = Request;  // the class
    QByteArray transaction;  // 12 bytes
    QList<std::pair<quint16, QByteArray>> attributes;

    static StunMessage make(quint16 method, quint16 kind);
    void add(quint16 type, const QByteArray& value) { attributes.append({type, value}); }
    void addNumber(quint16 type, quint32 value);
    void addAddress(quint16 type, const QHostAddress& address, quint16 port);
    std::optional<QByteArray> value(quint16 type) const;
    std::optional<std::pair<QHostAddress, quint16>> address(quint16 type) const;
    std::optional<quint32> number(quint16 type) const;
    // The error code (401, 438, ...); 0 when there is none.
    int errorCode() const;
    QString errorText() const;

    // With key: a MESSAGE-INTEGRITY over everything before it.
    QByteArray encode(const QByteArray& key = {}) const;
    static std::optional<StunMessage> parse(QByteArrayView bytes);
    // The size of the message whose first bytes these are, once the header is
    // there: 0 while fewer, -1 when they begin no STUN message.
    static qsizetype sizeOf(QByteArrayView start);
};

// The key of the long-term credentials: MD5 of "user:realm:password".
QByteArray stunLongTermKey(const QString& user, const QString& realm, const QString& password);
