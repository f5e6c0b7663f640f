#include "client/clientchannels.h"

template <typename Send>
void ClientChannels::on(MessageCode code, Send send) {
    MessageCodes::onChannels(code, stream_, datagram_, send);
}

void ClientChannels::players(const QStringList& names, const QList<int>& colors,
                             const QList<int>& status) {
    on(MessageCode::CPLR,
       [&](ClientConnection& c) { c.sendCPlayers(true, names, colors, status); });
}

void ClientChannels::chat(int playerNr, const QString& text) {
    on(MessageCode::CMSG, [&](ClientConnection& c) { c.sendCMessage(true, playerNr, text); });
}

void ClientChannels::kick(int clientId) {
    on(MessageCode::CKCK, [&](ClientConnection& c) { c.sendCKick(true, clientId); });
}

void ClientChannels::start() {
    on(MessageCode::CSRT, [](ClientConnection& c) { c.sendCStart(true); });
}

void ClientChannels::restart() {
    on(MessageCode::CRST, [](ClientConnection& c) { c.sendCRestart(true); });
}

void ClientChannels::pause() {
    on(MessageCode::CPSE, [](ClientConnection& c) { c.sendCPause(true); });
}

void ClientChannels::input(const QList<int>& keys) {
    on(MessageCode::CINP, [&](ClientConnection& c) { c.sendCInput(false, keys); });
}

void ClientChannels::leave(bool immediately) {
    on(MessageCode::CDSC, [&](ClientConnection& c) { c.disconnectClient(-1, immediately); });
}
