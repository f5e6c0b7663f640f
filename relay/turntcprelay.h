#pragma once

#include <QTcpSocket>
#include <memory>
#include <vector>

#include "relay/turnsession.h"

class QSocketNotifier;

// A TCP allocation: peers connect to the relayed address; for each the relay
// says so on the control connection (ConnectionAttempt), we open a data
// connection to the relay and bind it to the peer's (ConnectionBind), and
// from then on it is the peer's stream, handed over as a socket descriptor.
// The bind's answer is read to its last byte and no further, so whatever the
// peer sent meanwhile stays for the new owner.
class TurnTcpRelay : public TurnSession {
    Q_OBJECT

public:
    explicit TurnTcpRelay(const TurnTimings& timings = {}, QObject* parent = nullptr);
    ~TurnTcpRelay() override;

Q_SIGNALS:
    // The receiver owns the descriptor.
    void connection(qintptr descriptor, QHostAddress peer, quint16 peerPort);

private:
    struct DataConnection;

    void open(const QHostAddress& address, quint16 port) override;
    void close() override;
    void write(const QByteArray& bytes) override;
    bool retransmits() const override { return false; }
    void indication(const StunMessage& message) override;
    void processReadyRead();
    void bind(const QByteArray& connectionId, const QHostAddress& peer, quint16 peerPort);
    void progress(DataConnection* c);
    void drop(DataConnection* c);

    QTcpSocket control_;
    QByteArray buffer_;
    std::vector<std::unique_ptr<DataConnection>> binding_;
};
