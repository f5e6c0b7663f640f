#include "socketabstract.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QTimerEvent>
#include <QUdpSocket>

#include "network/networklog.h"

namespace {

// Datagrams taken per read notification: the rest wait for the next one, so
// a flood cannot starve the owner's event loop.
constexpr int kDatagramsPerRead = 64;

}  // namespace

SocketAbstract::SocketAbstract(int id, QAbstractSocket* socket, QObject* parent)
    : SocketAbstract(id, socket, MessageDecoder::Mode::Stream, parent) {}

SocketAbstract::SocketAbstract(int id, QAbstractSocket* socket, MessageDecoder::Mode mode,
                               QObject* parent)
    : QObject(parent), decoder_(mode), socket_(socket), id_(id) {
    socket_->setParent(this);
    connect(socket_, &QAbstractSocket::connected, this, &SocketAbstract::processConnected);
    connect(socket_, &QAbstractSocket::readyRead, this, &SocketAbstract::processReadyRead);
    connect(socket_, &QAbstractSocket::errorOccurred, this, &SocketAbstract::processSocketError);
}

SocketAbstract::~SocketAbstract() {
    // No signal of the dying socket may reach this half-destroyed wrapper.
    socket_->disconnect(this);
    socket_->abort();
}

qint64 SocketAbstract::sendMessage(const QHostAddress& address, int port,
                                   const ConnectionMessage& message) {
    if (retired_) {
        return 0;
    }
    const QByteArray packet = message.encode();
    write(address, port, packet);
    return packet.size();
}

void SocketAbstract::write(const QHostAddress&, int, const QByteArray& packet) {
    if (socket_->write(packet) != packet.size()) {
        reportError(QAbstractSocket::UnknownSocketError);
    }
}

void SocketAbstract::retire(int graceMs) {
    if (retired_) {
        return;
    }
    retired_ = true;
    disconnect(this, nullptr, nullptr, nullptr);
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    if (socket_->socketType() == QAbstractSocket::TcpSocket &&
        socket_->state() == QAbstractSocket::ConnectedState) {
        // Let a last answer (a refusal, a kick, a goodbye) reach the peer:
        // handed to the system now, it goes out even if the owner is gone
        // before the event loop runs again (a server the host's goodbye ends).
        socket_->flush();
        connect(socket_, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
        QTimer::singleShot(graceMs, this, &QObject::deleteLater);
        socket_->disconnectFromHost();
        return;
    }
    deleteLater();
}

void SocketAbstract::deliver(const QList<ConnectionMessage>& messages, const QHostAddress& address,
                             int port) {
    for (const ConnectionMessage& message : messages) {
        if (retired_) {
            return;  // a handler ended this connection; the rest is no one's
        }
        Q_EMIT gotMessage(id_, address, port, message);
    }
}

void SocketAbstract::reportError(QAbstractSocket::SocketError error) {
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            if (!retired_) {
                Q_EMIT gotError(id_, error);
            }
        },
        Qt::QueuedConnection);
}

void SocketAbstract::processConnected() {
    if (!retired_) {
        Q_EMIT gotConnection(id_);
    }
}

void SocketAbstract::processReadyRead() {
    const QByteArray bytes = socket_->readAll();
    if (retired_) {
        return;
    }
    QList<ConnectionMessage> messages;
    decoder_.feed(bytes, messages);
    deliver(messages, QHostAddress(), -1);
    if (retired_) {
        return;
    }
    if (decoder_.failed()) {
        // Nothing later on this stream can be framed again.
        qCDebug(lcNetwork) << "stream" << id_ << "broke the framing; aborting";
        socket_->abort();
        reportError(QAbstractSocket::UnknownSocketError);
        return;
    }
    updateTimer();
}

void SocketAbstract::updateTimer() {
    // Counted from the last read: a message that keeps arriving is no stall.
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    if (decoder_.incomplete()) {
        timerId_ = startTimer(framingTimeoutMs_);
    }
}

void SocketAbstract::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_ || timerId_ == 0) {
        return;
    }
    killTimer(timerId_);
    timerId_ = 0;
    socket_->abort();
    decoder_.reset();
    if (!retired_) {
        Q_EMIT gotError(id_, QAbstractSocket::SocketTimeoutError);
    }
}

void SocketAbstract::processSocketError(QAbstractSocket::SocketError error) {
    reportError(error);
}

SocketDatagram::SocketDatagram(int id, QAbstractSocket* socket, QObject* parent)
    : SocketAbstract(id, socket, MessageDecoder::Mode::Datagram, parent) {}

void SocketDatagram::write(const QHostAddress& address, int port, const QByteArray& packet) {
    auto* udp = qobject_cast<QUdpSocket*>(socket());
    writing_ = true;
    qint64 written = -1;
    if (udp == nullptr || address.isNull()) {
        written = socket()->write(packet);
    } else {
        const QString peer = address.toString() + u' ' + QString::number(port);
        const auto from = replyFrom_.constFind(peer);
        if (from != replyFrom_.constEnd()) {
            QNetworkDatagram d(packet, address, static_cast<quint16>(port));
            d.setSender(*from);
            written = udp->writeDatagram(d);
            if (written != packet.size()) {
                replyFrom_.remove(peer);  // no source of ours (a broadcast address)
            }
        }
        if (written != packet.size()) {
            written = udp->writeDatagram(packet, address, static_cast<quint16>(port));
        }
    }
    writing_ = false;
    if (written == packet.size()) {
        return;
    }
    if (shared_ && socket()->state() == QAbstractSocket::BoundState) {
        qCDebug(lcNetwork) << "datagram to" << address << port
                           << "lost:" << socket()->errorString();
        return;
    }
    reportError(QAbstractSocket::UnknownSocketError);
}

void SocketDatagram::processSocketError(QAbstractSocket::SocketError error) {
    if (writing_ && shared_) {
        return;  // judged by write() above
    }
    SocketAbstract::processSocketError(error);
}

void SocketDatagram::processReadyRead() {
    auto* udp = qobject_cast<QUdpSocket*>(socket());
    if (udp == nullptr) {
        SocketAbstract::processReadyRead();
        return;
    }
    for (int n = 0; n < kDatagramsPerRead && udp->hasPendingDatagrams(); ++n) {
        const QNetworkDatagram datagram = udp->receiveDatagram();
        if (!datagram.isValid()) {
            break;
        }
        if (isRetired()) {
            continue;
        }
        if (shared_ && !datagram.destinationAddress().isNull()) {
            if (replyFrom_.size() >= kMaxReplyAddresses) {
                replyFrom_.clear();
            }
            replyFrom_.insert(
                datagram.senderAddress().toString() + u' ' + QString::number(datagram.senderPort()),
                datagram.destinationAddress());
        }
        QList<ConnectionMessage> messages;
        decoder_.feed(datagram.data(), messages);
        deliver(messages, datagram.senderAddress(), datagram.senderPort());
    }
    // What is left makes the read notifier fire again (each read above enabled
    // it). Reading it from here instead, behind the socket's back, can make a
    // notification that was already on its way find nothing; after that the
    // socket stops reporting datagrams at all and the peers time out.
}
