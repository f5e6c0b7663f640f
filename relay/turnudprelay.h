#pragma once

#include <QUdpSocket>

#include "relay/turnsession.h"

// A UDP allocation: datagrams to peers leave as Send indications, and what
// peers send to the relayed address comes back in Data indications, with
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
    void close() override { socket_.close(); }
    void write(const QByteArray& bytes) override;
    bool retransmits() const override { return true; }
    void indication(const StunMessage& message) override;
    void processReadyRead();

    QUdpSocket socket_;
    QTimer keepAlive_;
    qint64 bytesIn_ = 0;
    qint64 bytesOut_ = 0;
};
