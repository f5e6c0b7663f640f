#include "client/clientchannels.h"

template <typename Send>
void ClientChannels::on(MessageCode code, Send send) {
    MessageCodes::onChannels(code, stream_, datagram_, send);
}

void ClientChannels::players(const PayloadCodec::Players& players) {
    on(MessageCode::CPLR, [&](ClientConnection& c) { c.sendCPlayers(true, players); });
}

void ClientChannels::chat(const PayloadCodec::ChatLine& line) {
    on(MessageCode::CMSG, [&](ClientConnection& c) { c.sendCMessage(true, line); });
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

void ClientChannels::input(const KeyInput& keys) {
    on(MessageCode::CINP, [&](ClientConnection& c) { c.sendCInput(false, keys); });
}

void ClientChannels::leave(bool immediately) {
    on(MessageCode::CDSC, [&](ClientConnection& c) { c.disconnectClient(-1, immediately); });
}
