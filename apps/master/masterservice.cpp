#include "masterservice.h"

#include <QDateTime>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>

#include "network/payloadcodec.h"
#include "reachprobe.h"
#include "relay/restcredentials.h"

namespace {

std::function<quint32()> randomOrSystem(std::function<quint32()> random) {
    if (random) {
        return random;
    }
    return [] { return QRandomGenerator::system()->generate(); };
}

}  // namespace

MasterService::MasterService(const Config& config, const Clock& clock, QObject* parent)
    : QObject(parent),
      config_(config),
      clock_(clock),
      socket_(new QUdpSocket(this)),
      sweepTimer_(new QTimer(this)),
      registry_(config.limits),
      invites_(randomOrSystem(config.random), config.invites),
      reach_(new ReachProbe(config.reachTimeoutMs, this)),
      requests_(config.requestBurst, config.requestRefillMs),
      lists_(config.listBurst, config.listRefillMs),
      inviteQueries_(config.inviteBurst, config.inviteRefillMs) {
    connect(socket_, &QUdpSocket::readyRead, this, &MasterService::processPendingDatagrams);
    connect(reach_, &ReachProbe::finished, this, &MasterService::processReach);
    sweepTimer_->setInterval(config_.sweepIntervalMs);
    connect(sweepTimer_, &QTimer::timeout, this, &MasterService::sweep);
}

MasterService::~MasterService() = default;

bool MasterService::start() {
    const bool both = config_.bindAddress == QHostAddress(QHostAddress::Any);
    if (!socket_->bind(config_.bindAddress, static_cast<quint16>(config_.port)) &&
        (!both ||
         !socket_->bind(QHostAddress(QHostAddress::AnyIPv4), static_cast<quint16>(config_.port)))) {
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
        // Answers leave from the address asked: on a machine with several,
        // an answer from another would not pass the asker's router.
        replyFrom_ = datagram.destinationAddress();
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
        code == static_cast<int>(MessageCode::CTS) || code == static_cast<int>(MessageCode::CLS) ||
        code == static_cast<int>(MessageCode::SRG) || code == static_cast<int>(MessageCode::CJN) ||
        code == static_cast<int>(MessageCode::SPN);
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
                   PayloadCodec::buildServerList(
                       registry_.list(config_.maxListEntries, sender.protocol())),
                   sender, port);
            break;
        case MessageCode::SRG:
            processRegistration(message.content, sender, port);
            break;
        case MessageCode::CJN:
            if (!inviteQueries_.allow(sender, now)) {
                ++counters_.limited;
                return;
            }
            processInviteQuery(message.content, sender, port);
            break;
        case MessageCode::SPN:
            processJoinerReady(message.content, sender, port);
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

void MasterService::processRegistration(const QString& payload, const QHostAddress& sender,
                                        quint16 port) {
    const PayloadCodec::Registration r = PayloadCodec::parseRegistration(payload);
    if (!r.online) {
        // Only the token's holder can give a code back.
        if (invites_.withdraw(r.token)) {
            Q_EMIT logLine(QStringLiteral("invite withdrawn by %1").arg(sender.toString()));
        }
        return;
    }
    const qint64 now = clock_.nowMs();
    const int before = invites_.size();
    InviteRegistry::Invite* invite = invites_.enter(sender, port, r.port, r.token, now);
    if (invite == nullptr) {
        ++counters_.rejected;
        return;
    }
    InviteRegistry::Place& place = invite->place(sender);
    place.via = replyFrom_;
    invite->takesRelay = r.takesRelay;
    // Only addresses at our relay: a game could send its joiners anywhere
    // else. None (the relay lost the game's allocations): nobody goes there.
    const std::optional<Endpoint> relayStream = Endpoint::parse(r.relayStream);
    const std::optional<Endpoint> relayDatagram = Endpoint::parse(r.relayDatagram);
    const bool atOurRelay = !invite->relayUser.isEmpty() && relayStream && relayDatagram &&
                            relayStream->address.isEqual(config_.relay.address) &&
                            relayDatagram->address.isEqual(config_.relay.address);
    invite->relayed = atOurRelay ? std::optional<JoinWay>(JoinWay{*relayStream, relayDatagram->port,
                                                                  JoinWay::Kind::Relayed})
                                 : std::nullopt;
    if (invites_.size() > before) {
        Q_EMIT logLine(QStringLiteral("invite %1 for %2")
                           .arg(InviteCode::display(invite->code),
                                MasterRegistry::key(place.address, invite->gamePort)));
    }
    if (invites_.wantsProbe(place, now) &&
        reach_->probe(invite->code, place.address, invite->gamePort)) {
        place.probedMs = now;
    }
    answerRegistration(*invite, place);
}

void MasterService::processReach(const QString& code, const QHostAddress& address, bool stream,
                                 bool datagram) {
    InviteRegistry::Invite* invite = invites_.find(code);
    if (invite == nullptr || !invite->place(address).address.isEqual(address)) {
        return;  // gone, or somewhere else by now
    }
    InviteRegistry::Place& place = invite->place(address);
    using PayloadCodec::Reach;
    place.stream = stream ? Reach::Yes : Reach::No;
    place.datagram = datagram ? Reach::Yes : Reach::No;
    Q_EMIT logLine(QStringLiteral("invite %1 reached at %2: stream %3, datagrams %4")
                       .arg(InviteCode::display(code),
                            MasterRegistry::key(place.address, invite->gamePort),
                            stream ? QStringLiteral("yes") : QStringLiteral("no"),
                            datagram ? QStringLiteral("yes") : QStringLiteral("no")));
    answerRegistration(*invite, place);
}

bool MasterService::relayed(const InviteRegistry::Place& p) const {
    return !config_.relay.address.isNull() && !p.direct();
}

void MasterService::answerRegistration(InviteRegistry::Invite& i, const InviteRegistry::Place& p) {
    PayloadCodec::RegistrationAnswer a{
        i.code, i.token, p.address.toString(), i.gamePort, p.stream, p.datagram, {}, {}, {}};
    if (relayed(p) && i.takesRelay) {
        // One set of credentials per code, renewed when half its time is up:
        // they come only with a registration, so they are as rate-limited
        // as codes are.
        const qint64 now =
            config_.unixTime ? config_.unixTime() : QDateTime::currentSecsSinceEpoch();
        if (i.relayUser.isEmpty() || i.relayExpiry - now < config_.relayTtlSeconds / 2) {
            i.relayExpiry = now + config_.relayTtlSeconds;
            const TurnCredentials c = restCredentials(config_.relaySecret, i.code, i.relayExpiry);
            i.relayUser = c.username;
            i.relayPassword = c.password;
        }
        a.relay = config_.relay.text();
        a.relayUser = i.relayUser;
        a.relayPassword = i.relayPassword;
    }
    answer(MessageCode::MRG, PayloadCodec::buildRegistrationAnswer(a), p.address, p.linkPort,
           p.via);
}

void MasterService::processInviteQuery(const QString& payload, const QHostAddress& sender,
                                       quint16 port) {
    const std::optional<PayloadCodec::InviteQuery> q = PayloadCodec::parseInviteQuery(payload);
    if (!q) {
        ++counters_.rejected;
        return;
    }
    PayloadCodec::InviteAnswer a;
    a.nonce = q->nonce;
    a.code = q->code;
    a.observed = MasterRegistry::key(sender, port);
    InviteRegistry::Invite* i = invites_.find(q->code);
    if (i == nullptr) {
        answer(MessageCode::MJN, PayloadCodec::buildInviteAnswer(a), sender, port);
        return;
    }
    a.found = true;
    a.endpoints = i->endpoints();
    // The reach of the way to try first.
    const InviteRegistry::Place& first =
        i->v6.isSet() && !i->v6.unreachable() ? i->v6 : (i->v4.isSet() ? i->v4 : i->v6);
    a.stream = first.stream;
    a.datagram = first.datagram;
    const auto family = Endpoint::plain(sender).protocol();
    const InviteRegistry::Place& mine = family == QAbstractSocket::IPv6Protocol ? i->v6 : i->v4;
    // Through the relay: the game lets the joiner in there first.
    const bool relayFirst = i->relayed && a.endpoints.value(0) == i->relayed->text();
    const bool relayHere = relayFirst && family == i->relayed->stream.address.protocol();
    // A punch needs both routers to keep ports: the joiner's we see here,
    // the game's when it answers.
    const bool punch = i->takesRelay && q->port == port && mine.isSet() && !mine.direct();
    if (!relayFirst && !punch) {
        answer(MessageCode::MJN, PayloadCodec::buildInviteAnswer(a), sender, port);
        return;
    }
    // A joiner asks over each family it has (and again until answered): one
    // answer, after the game heard the address of a family it can use.
    auto w = waiting_.find(q->nonce);
    if (w == waiting_.end()) {
        if (waiting_.size() >= config_.maxWaitingJoins) {
            answer(MessageCode::MJN, PayloadCodec::buildInviteAnswer(a), sender, port);
            return;
        }
        w = waiting_.insert(q->nonce, {q->code, a, sender, port, replyFrom_, relayFirst});
        QTimer::singleShot(config_.joinWaitMs, this,
                           [this, nonce = q->nonce] { releaseJoin(nonce); });
    }
    // Asked again before the answer: the notice, or the game's answer to it,
    // may have been lost, so the game hears it again (and answers again).
    if (relayHere || punch) {
        // Punched, the answer goes where the game opened towards.
        if (punch) {
            w->punch = true;
            w->to = sender;
            w->port = port;
            w->from = replyFrom_;
            w->answer = a;
        }
        const QString notice = PayloadCodec::buildJoinerNotice({q->nonce, a.observed});
        for (const InviteRegistry::Place* p : {&i->v4, &i->v6}) {
            if (p->isSet()) {
                answer(MessageCode::MPN, notice, p->address, p->linkPort, p->via);
            }
        }
    }
}

void MasterService::processJoinerReady(const QString& payload, const QHostAddress& sender,
                                       quint16 port) {
    const std::optional<PayloadCodec::JoinerReady> r = PayloadCodec::parseJoinerReady(payload);
    const auto w = r ? waiting_.find(r->nonce) : waiting_.end();
    if (w == waiting_.end()) {
        return;
    }
    // Only the game asked: a joiner cannot cut its own wait short.
    const InviteRegistry::Invite* i = invites_.find(w->code);
    if (i == nullptr || (!i->v4.address.isEqual(sender) && !i->v6.address.isEqual(sender))) {
        return;
    }
    // Its answer left from its datagram port: where the router kept that,
    // it will have kept the stream's port too.
    if (w->punch && r->port > 0 && port == i->gamePort) {
        w->punched = JoinWay{{sender, r->port}, port, JoinWay::Kind::Punched};
    }
    // The joiner goes through the relay first only without a punched way:
    // then it waits until the game let it in there ("SPN" without a port).
    if (w->punched || r->port == 0 || !w->relayFirst) {
        releaseJoin(r->nonce);
    }
}

void MasterService::releaseJoin(const QString& nonce) {
    if (const auto w = waiting_.find(nonce); w != waiting_.end()) {
        WaitingJoin join = *w;
        waiting_.erase(w);
        if (join.punched) {
            join.answer.endpoints.prepend(join.punched->text());
            Q_EMIT logLine(QStringLiteral("invite %1 punched at %2")
                               .arg(InviteCode::display(join.code), join.punched->text()));
        }
        answer(MessageCode::MJN, PayloadCodec::buildInviteAnswer(join.answer), join.to, join.port,
               join.from);
    }
}

void MasterService::answer(MessageCode code, const QString& content, const QHostAddress& to,
                           quint16 port, const QHostAddress& from) {
    QNetworkDatagram d(ConnectionMessage(code, content).encode(), to, port);
    const QHostAddress source = from.isNull() ? replyFrom_ : from;
    if (!source.isNull()) {
        d.setSender(source);
    }
    socket_->writeDatagram(d);
    ++counters_.answered;
}

void MasterService::sweep() {
    for (const QString& key : registry_.sweep()) {
        Q_EMIT logLine(QStringLiteral("removed %1 (no announcement)").arg(key));
    }
    for (const QString& code : invites_.expire(clock_.nowMs())) {
        Q_EMIT logLine(QStringLiteral("invite %1 expired").arg(InviteCode::display(code)));
    }
}
