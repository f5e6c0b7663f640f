#include "client/clientlobby.h"

#include "client/clienttexts.h"
#include "game/gamedisplay.h"

ClientLobby::ClientLobby(ClientSession& session, ClientScreen& screen,
                         const ClientSettings& settings, ClientChannels& channels, QObject* parent)
    : QObject(parent),
      session_(session),
      screen_(screen),
      settings_(settings),
      channels_(channels) {}

void ClientLobby::sendPlayers() {
    const ClientSettings::Options& o = settings_.options;
    const bool two = session_.splitscreen;
    const int state = session_.state;
    channels_.players({{o.name1, two ? o.name2 : QString()},
                       {o.color1, two ? o.color2 : -1},
                       {state, two ? state : -1}});
}

void ClientLobby::setReady() {
    ClientSession& s = session_;
    if (s.state == GamePlayer::Waiting) {
        s.state = GamePlayer::Ready;
        sendPlayers();
        s.lastResult = LastResult::None;
    } else if (s.state == GamePlayer::Ready ||
               (s.state == GamePlayer::Playing && s.countdownRunning && s.countdownIsStart)) {
        s.state = GamePlayer::Waiting;
        sendPlayers();
    }
}

void ClientLobby::setStart() {
    ClientSession& s = session_;
    if (s.state == GamePlayer::Empty || s.state == GamePlayer::Playing ||
        s.state == GamePlayer::Pausing) {
        return;
    }
    if (s.singleplayer) {
        s.state = GamePlayer::Ready;
        sendPlayers();
        s.lastResult = LastResult::None;
    }
    channels_.start();
}

void ClientLobby::setMenuOpen(bool open) {
    const GamePlayer::PlayerStatus state = session_.state;
    if (open) {
        if (state == GamePlayer::Playing || session_.countdownRunning) {
            channels_.pause();
        } else if (state == GamePlayer::Ready) {
            readyBeforeMenu_ = true;
            setReady();
        } else if (state == GamePlayer::Waiting) {
            readyBeforeMenu_ = false;
        }
    } else if (state == GamePlayer::Pausing) {
        channels_.pause();
    } else if (readyBeforeMenu_) {
        readyBeforeMenu_ = false;
        setReady();
    }
}

void ClientLobby::restartGame() {
    if (session_.state == GamePlayer::Playing || session_.state == GamePlayer::Pausing) {
        channels_.restart();
    }
}

void ClientLobby::kickPlayer(int id) {
    if (session_.state >= GamePlayer::Waiting) {
        channels_.kick(id);
    }
}

void ClientLobby::sendMessage(int playerNr, QString message) {
    channels_.chat({playerNr, message});
}

void ClientLobby::takePlayerList(const PayloadCodec::PlayerList& list) {
    ClientSession& s = session_;
    QList<GamePlayer::PlayerStatus> status;
    status.reserve(list.status.size());
    for (int v : list.status) {
        status.append(GamePlayer::statusFromInt(v));
    }

    // The first list after connecting announces nobody.
    const bool first = s.players.isEmpty();
    for (const PlayerRoster::Entry& e : s.players.update(list.connIds, list.names, status)) {
        if (e.isNew && e.connId != s.ownConnId && !first) {
            Q_EMIT screen_.displayChatMessage(ChatSender::kPlayerJoined,
                                              ClientTexts::joined(e.name));
        }
        if (e.connId == s.ownConnId && s.inLobby()) {
            s.state = e.status;
        }
    }
}

void ClientLobby::showText() {
    const ClientSession& s = session_;
    const bool ready = !s.singleplayer && s.state == GamePlayer::Ready;
    Q_EMIT screen_.setGuiBaseState(GuiState::Lobby,
                                   ready ? ClientTexts::ready(s) : ClientTexts::lobby(s));
}

void ClientLobby::processMessage(const PayloadCodec::ChatLine& line) {
    const QString notice = ClientTexts::statsNotice(line.player);
    Q_EMIT screen_.displayChatMessage(line.player, notice.isEmpty() ? line.text : notice);
}

void ClientLobby::showLeaving(int connId, bool kicked) {
    for (const QString& name : session_.players.drop(connId)) {
        Q_EMIT screen_.displayChatMessage(ChatSender::kPlayerLeft, ClientTexts::left(name, kicked));
    }
}
