#include "masterservice.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include "network/payloadcodec.h"

MasterService::MasterService(const Config& config, const Clock& clock, QObject* parent)
    : QObject(parent),
      config_(config),
      clock_(clock),
      socket_(new QUdpSocket(this)),
      sweepTimer_(new QTimer(this)),
      registry_(config.limits),
      requests_(config.requestBurst, config.requestRefillMs),
      lists_(config.listBurst, config.listRefillMs) {
    connect(socket_, &QUdpSocket::readyRead, this, &MasterService::processPendingDatagrams);
    sweepTimer_->setInterval(config_.sweepIntervalMs);
    connect(sweepTimer_, &QTimer::timeout, this, &MasterService::sweep);
}

MasterService::~MasterService() = default;

bool MasterService::start() {
    if (!socket_->bind(config_.bindAddress, static_cast<quint16>(config_.port))) {
        error_ = socket_->errorString();
        return false;
    }
    sweepTimer_->start();
    return true;
}

int MasterService::port() const {
    return socket_->localPort();
}

void MasterService::processPendingDatagrams() {
    // Drain everything: a socket left with unread datagrams after readyRead is
    // not watched again until the next read, which under load never came.
    QList<ConnectionMessage> messages;
    while (socket_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_->receiveDatagram();
        ++counters_.datagrams;
        if (!datagram.isValid()) {
            continue;
        }
        messages.clear();
        decoder_.feed(datagram.data(), messages);
        const QHostAddress sender = MasterRegistry::normalised(datagram.senderAddress());
        const auto port = static_cast<quint16>(datagram.senderPort());
        for (const ConnectionMessage& m : messages) {
            processMessage(m, sender, port);
        }
    }
}

void MasterService::processMessage(const ConnectionMessage& message, const QHostAddress& sender,
                                   quint16 port) {
    const int code = message.code();
    const bool known =
        code == static_cast<int>(MessageCode::SON) || code == static_cast<int>(MessageCode::SOF) ||
        code == static_cast<int>(MessageCode::CTS) || code == static_cast<int>(MessageCode::CLS);
    if (!known) {
        ++counters_.rejected;
        return;
    }
    const qint64 now = clock_.nowMs();
    if (!requests_.allow(sender, now)) {
        ++counters_.limited;
        return;
    }
    switch (static_cast<MessageCode>(code)) {
        case MessageCode::SON:
            processAnnouncement(true, message.content, sender, port);
            break;
        case MessageCode::SOF:
            processAnnouncement(false, message.content, sender, port);
            break;
        case MessageCode::CTS:
            answer(MessageCode::MTS, QStringLiteral("T"), sender, port);
            break;
        case MessageCode::CLS:
            if (!lists_.allow(sender, now)) {
                ++counters_.limited;
                return;
            }
            answer(MessageCode::MLS,
                   PayloadCodec::buildServerList(registry_.list(config_.maxListEntries)), sender,
                   port);
            break;
        default:
            break;
    }
}

void MasterService::processAnnouncement(bool online, const QString& payload,
                                        const QHostAddress& sender, quint16 port) {
    const PayloadCodec::Announcement a = PayloadCodec::parseAnnouncement(payload);
    if (!a.digestValid) {
        ++counters_.rejected;  // not from a genuine game server: no answer at all
        return;
    }
    const QString key = MasterRegistry::key(sender, a.port);
    const QString ranked = a.ranked ? QStringLiteral("ranked") : QStringLiteral("unranked");
    if (online) {
        switch (registry_.announce(sender, a.port, a.version, a.ranked, a.time)) {
            case MasterRegistry::Result::Added:
                Q_EMIT logLine(
                    QStringLiteral("registered %1 (%2, %3)").arg(key, a.version, ranked));
                break;
            case MasterRegistry::Result::Refused:
                ++counters_.rejected;
                Q_EMIT logLine(QStringLiteral("refused %1").arg(key));
                return;
            default:
                break;
        }
        answer(MessageCode::MON, QStringLiteral("OK"), sender, port);
    } else {
        if (registry_.withdraw(sender, a.port) == MasterRegistry::Result::Removed) {
            Q_EMIT logLine(QStringLiteral("removed %1 (signed off)").arg(key));
        }
        answer(MessageCode::MOF, QStringLiteral("OK"), sender, port);
    }
}

void MasterService::answer(MessageCode code, const QString& content, const QHostAddress& to,
                           quint16 port) {
    socket_->writeDatagram(ConnectionMessage(code, content).encode(), to, port);
    ++counters_.answered;
}

void MasterService::sweep() {
    for (const QString& key : registry_.sweep()) {
        Q_EMIT logLine(QStringLiteral("removed %1 (no announcement)").arg(key));
    }
}
