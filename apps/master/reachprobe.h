#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <map>
#include <memory>

class QTcpSocket;

// Finds out whether a game server can be reached directly at an address, as
// a joiner would: a stream connection to its game port, and "CIN" to that
// port from a datagram socket of its own (not the master server's port, to
// which the game's router lets answers through). What has not answered by
// the time-out counts as unreachable.
class ReachProbe : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxPending = 256;

    explicit ReachProbe(int timeoutMs, QObject* parent = nullptr);
    ~ReachProbe() override;

    // False when there is no socket or kMaxPending probes run: the reach
    // stays unknown until the game asks again.
    bool probe(const QString& code, const QHostAddress& address, int port);

Q_SIGNALS:
    void finished(QString code, QHostAddress address, bool stream, bool datagram);

private:
    struct Pending {
        QString code;
        QHostAddress address;
        int port = 0;
        qint64 startMs = 0;
        int sent = 0;
        std::unique_ptr<QTcpSocket> tcp;
        bool stream = false;
        bool datagram = false;
    };

    void processTick();
    void processDatagrams();
    void finish(const QString& key);

    int timeoutMs_;
    QUdpSocket socket_;
    QTimer tick_;
    QElapsedTimer clock_;
    std::map<QString, Pending> pending_;  // by "address:port"
};
