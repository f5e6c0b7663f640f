#pragma once

#include <QHash>
#include <QUdpSocket>

#include "relay/turnsession.h"

// A UDP allocation: datagrams to a peer leave as Send indications until the
// relay bound a channel to it, then as ChannelData (4 bytes of header, not
// 36); what peers send to the relayed address comes back either way, with
// the peer's address. A Binding indication now and then keeps the way to
// the relay open through our router.
class TurnUdpRelay : public TurnSession {
    Q_OBJECT

public:
    explicit TurnUdpRelay(const TurnTimings& timings = {}, QObject* parent = nullptr);

    void send(const QHostAddress& peer, quint16 port, const QByteArray& data);
    qint64 bytesIn() const { return bytesIn_; }
    qint64 bytesOut() const { return bytesOut_; }

Q_SIGNALS:
    void received(QHostAddress peer, quint16 port, QByteArray data);

private:
    void open(const QHostAddress& address, quint16 port) override;
    void close() override {
        channelRefresh_.stop();
        socket_.close();
    }
    void write(const QByteArray& bytes) override;
    bool retransmits() const override { return true; }
    void indication(const StunMessage& message) override;
    void processReadyRead();
    void bindChannel(const QString& key, const QHostAddress& peer, quint16 port);
    bool receiveChannelData(const QByteArray& datagram);

    struct Channel {
        quint16 number = 0;
        QHostAddress peer;
        quint16 port = 0;
        bool bound = false;  // the relay confirmed it
    };
    // The relay's channel numbers run from 0x4000 to 0x7FFF; peers beyond
    // this many go by Send indications.
    static constexpr int kMaxChannels = 1024;

    QUdpSocket socket_;
    QTimer keepAlive_;
    QTimer channelRefresh_;                 // bindings last ten minutes
    QHash<QString, Channel> channels_;      // by "address:port"
    QHash<quint16, QString> channelPeers_;  // by number
    qint64 bytesIn_ = 0;
    qint64 bytesOut_ = 0;
};
