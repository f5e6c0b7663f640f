#include "masterlink.h"

#include <QRandomGenerator>
#include <algorithm>

#include "game/appinfo.h"
#include "network/connectioncore.h"
#include "network/endpoint.h"
#include "network/invitecode.h"
#include "network/networklog.h"
#include "network/payloadcodec.h"
#include "network/serverclaims.h"
#include "network/socketabstract.h"

namespace {

namespace Codec = PayloadCodec;

QString version() {
    return QString::fromLatin1(Quadrell::kVersion);
}

// A nonce nobody can foresee: it is what keeps old and forged answers out.
QString strongNonce() {
    return InviteCode::drawNonce([] { return QRandomGenerator::system()->generate(); });
}

}  // namespace

MasterLink::MasterLink(ConnectionCore& core)
    : core_(core), timeOfDay_([] { return QTime::currentTime(); }) {}

void MasterLink::reset() {
    serverList_.clear();
    queryAddresses_.clear();
    join_ = {};
    invite_ = {};
}

void MasterLink::forget(int connId) {
    queryAddresses_.remove(connId);
    if (connId == join_.connId) {
        join_ = {};
    }
}

QList<ConnectionInfo*> MasterLink::masterRecords() const {
    QList<ConnectionInfo*> out;
    for (int id : core_.pendingIds()) {
        ConnectionInfo* record = core_.findInTable(ConnectionCore::Table::Pending, id);
        // A probe of a game server waits for its own answer.
        if (record != nullptr && record->state == ConnectionState::StateLobby &&
            !queryAddresses_.contains(id)) {
            out.append(record);
        }
    }
    return out;
}

void MasterLink::sendToMaster(bool reliable, MessageCode code, const QString& content) {
    for (ConnectionInfo* record : masterRecords()) {
        core_.startRepeating(*record, ConnectionMessage(code, content), reliable);
    }
}

void MasterLink::sendServerOnline(bool reliable, int port) {
    sendToMaster(reliable, MessageCode::SON,
                 Codec::buildAnnouncement(version(), port, core_.settings().stats,
                                          timeOfDay_().toString(Qt::TextDate)));
}

void MasterLink::sendServerOffline(bool reliable, int port) {
    sendToMaster(reliable, MessageCode::SOF,
                 Codec::buildAnnouncement(version(), port, core_.settings().stats,
                                          timeOfDay_().toString(Qt::TextDate)));
}

void MasterLink::sendMasterTest(bool reliable) {
    sendToMaster(reliable, MessageCode::CTS, QLatin1String(Codec::kMasterTest));
}

void MasterLink::requestServerlist(bool reliable) {
    sendToMaster(reliable, MessageCode::CLS, QLatin1String(Codec::kServerListRequest));
}

void MasterLink::sendInfoRequest(int connId, const QString& nonce) {
    if (ConnectionInfo* record = core_.find(connId)) {
        record->pingClockStart = core_.nowMs();
        core_.startRepeating(
            *record, ConnectionMessage(MessageCode::CIN, Codec::buildInfoRequest(nonce)), true);
    }
}

void MasterLink::sendRegistration(const PayloadCodec::Registration& registration) {
    if (!registration.token.isEmpty()) {
        sendToMaster(false, MessageCode::SRG, Codec::buildRegistration(registration));
        return;
    }
    // A first registration on one link only: on two (IPv4 and IPv6) it
    // would get two codes. The token then brings the other family in.
    const QList<ConnectionInfo*> links = masterRecords();
    if (!links.isEmpty()) {
        core_.startRepeating(
            *links.constFirst(),
            ConnectionMessage(MessageCode::SRG, Codec::buildRegistration(registration)), false);
    }
}

void MasterLink::findInvite(const QString& code) {
    invite_ = {code, strongNonce()};
    for (ConnectionInfo* record : masterRecords()) {
        Codec::InviteQuery q = invite_;
        q.port = record->socket ? record->socket->socket()->localPort() : 0;
        core_.startRepeating(*record,
                             ConnectionMessage(MessageCode::CJN, Codec::buildInviteQuery(q)), true);
    }
}

void MasterLink::queryServer(const QHostAddress& address, int port, const QString& inviteCode,
                             int localPort) {
    // Joining by address replaces whatever was being probed, an earlier
    // join probe included: its give-up would read as this one's failure.
    serverList_.clear();
    for (int id : queryAddresses_.keys()) {
        core_.removeConnection(id);
    }
    queryAddresses_.clear();
    core_.transport().setLocalPort(localPort);
    const int connId = core_.transport().connectToHost(address, port);
    core_.transport().setLocalPort(0);
    if (core_.findInTable(ConnectionCore::Table::Pending, connId) == nullptr) {
        // Not even opened: unsaid, the join would wait for an answer that cannot come.
        reportUnreachable(address, port);
        return;
    }
    queryAddresses_[connId] = Endpoint{address, port}.text();
    const QString nonce = inviteCode.isEmpty() ? QString() : strongNonce();
    join_ = {connId, address, port, inviteCode, nonce};
    sendInfoRequest(connId, nonce);
}

void MasterLink::reportUnreachable(const QHostAddress& address, int port) {
    if (MasterConnection* e = core_.eventsAs<MasterConnection>()) {
        Q_EMIT e->changedCServerUnreachable(-1, address.toString(), port);
    }
}

bool MasterLink::finishQuery(int connId) {
    if (!core_.isQuery(connId)) {
        return false;
    }
    core_.removeConnection(connId);
    queryNextServers();
    return true;
}

bool MasterLink::giveUpQuery(int connId) {
    if (finishQuery(connId)) {
        return true;
    }
    if (connId < 0 || connId != join_.connId) {
        return false;
    }
    const JoinProbe gone = join_;
    core_.removeConnection(connId);
    reportUnreachable(gone.address, gone.port);
    return true;
}

void MasterLink::queryNextServers() {
    while (!serverList_.isEmpty()) {
        const QString entry = serverList_.takeFirst();
        const std::optional<Endpoint> at = Endpoint::parse(entry);
        if (!at) {
            continue;  // nothing to reach there
        }
        const int connId = core_.transport().connectToHost(at->address, at->port);
        if (core_.findInTable(ConnectionCore::Table::Pending, connId) == nullptr) {
            continue;
        }
        queryAddresses_[connId] = entry;
        core_.moveRecord(connId, ConnectionCore::Table::Queries);
        sendInfoRequest(connId);
        if (core_.queryIds().size() >= kMaxProbes) {
            return;
        }
    }
    if (MasterConnection* e = core_.eventsAs<MasterConnection>()) {
        Q_EMIT e->masterserverResult(-1, MasterserverResult::MasterListDone);
    }
}

void MasterLink::processAnnouncementAnswer(ConnectionInfo& record,
                                           const ConnectionMessage& message) {
    // Each answer ends its own kind's repeats: a late "MON" must not stop a
    // goodbye that may have been lost.
    core_.takeAnswer(record,
                     {message.code() == static_cast<int>(MessageCode::MOF) ? MessageCode::SOF
                                                                           : MessageCode::SON});
}

void MasterLink::processMasterTest(ConnectionInfo& record, const ConnectionMessage&) {
    // Only the first answer counts: a late answer to a repeated test must not
    // report the master server twice.
    if (core_.takeAnswer(record, {MessageCode::CTS})) {
        if (MasterConnection* e = core_.eventsAs<MasterConnection>()) {
            Q_EMIT e->masterserverOnline(-1);
        }
    }
}

void MasterLink::processServerList(ConnectionInfo& record, const ConnectionMessage& message) {
    if (!core_.takeAnswer(record, {MessageCode::CLS})) {
        return;
    }
    const QStringList entries = Codec::parseServerList(message.content);
    if (entries.isEmpty()) {
        if (MasterConnection* e = core_.eventsAs<MasterConnection>()) {
            Q_EMIT e->masterserverResult(-1, MasterserverResult::MasterListEmpty);
        }
        return;
    }
    if (MasterConnection* e = core_.eventsAs<MasterConnection>()) {
        Q_EMIT e->masterserverResult(-1, MasterserverResult::MasterListReceived);
    }
    serverList_ = entries;
    queryNextServers();
}

void MasterLink::processServerInfo(ConnectionInfo& record, const ConnectionMessage& message) {
    const int connId = record.connId;
    if (!queryAddresses_.contains(connId) || !record.awaitingAnswer) {
        return;
    }
    const std::optional<Endpoint> entry = Endpoint::parse(queryAddresses_.value(connId));
    const qint64 ping = record.pingClockStart >= 0 ? core_.nowMs() - record.pingClockStart : 0;
    QString content = message.content;
    if (connId == join_.connId && !join_.inviteCode.isEmpty()) {
        // Found by code: another server at that address cannot prove it.
        const std::optional<QString> proven =
            Codec::provenServerInfo(content, join_.inviteCode, join_.nonce);
        if (!proven) {
            return;
        }
        content = *proven;
    }
    const std::optional<ServerData> server =
        entry ? ServerClaims::describedServer(content, entry->address.toString(), entry->port, ping)
              : std::nullopt;
    if (!server) {
        return;  // not genuine: the probe runs out by repetition
    }
    if (connId == join_.connId) {
        qCDebug(lcNetwork) << "join probe answered after" << record.resendCount << "repetitions";
    }
    core_.takeAnswer(record, {MessageCode::CIN});
    if (MasterConnection* e = core_.eventsAs<MasterConnection>()) {
        Q_EMIT e->changedCNewServer(-1, *server);
    }
    if (!finishQuery(connId)) {
        core_.removeConnection(connId);
    }
}

void MasterLink::processRegistrationAnswer(ConnectionInfo&, const ConnectionMessage& message) {
    if (const std::optional<Codec::RegistrationAnswer> a =
            Codec::parseRegistrationAnswer(message.content)) {
        if (MasterConnection* e = core_.eventsAs<MasterConnection>()) {
            Q_EMIT e->changedCRegistration(-1, *a);
        }
    }
}

void MasterLink::processInviteAnswer(ConnectionInfo& record, const ConnectionMessage& message) {
    const std::optional<Codec::InviteAnswer> a = Codec::parseInviteAnswer(message.content);
    // Only the answer to the lookup asked: an old or forged one names
    // another nonce.
    if (!a || invite_.nonce.isEmpty() || a->nonce != invite_.nonce || a->code != invite_.code ||
        !core_.takeAnswer(record, {MessageCode::CJN})) {
        return;
    }
    invite_ = {};
    Codec::InviteAnswer answer = *a;
    answer.localPort = record.socket ? record.socket->socket()->localPort() : 0;
    if (MasterConnection* e = core_.eventsAs<MasterConnection>()) {
        Q_EMIT e->changedCInvite(-1, answer);
    }
}

void MasterLink::processJoinerNotice(ConnectionInfo&, const ConnectionMessage& message) {
    // Only the links hear it, and only from the master server's address: a
    // link's socket is connected to it.
    if (const std::optional<Codec::JoinerNotice> n = Codec::parseJoinerNotice(message.content)) {
        if (MasterConnection* e = core_.eventsAs<MasterConnection>()) {
            Q_EMIT e->changedCJoiner(-1, *n);
        }
    }
}
