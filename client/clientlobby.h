#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "client/clientchannels.h"
#include "client/clientscreen.h"
#include "client/clientsession.h"
#include "client/clientsettings.h"
#include "game/gameplayer.h"
#include "network/connectioninterface.h"

// The lobby as the client keeps it: the own players' status (ready, start,
// the game menu pausing or unreadying), their names and colours sent to the
// server, restart and kick, chat and the server's notices, the chat lines
// about players who join or leave, and the lobby's text.
//
// The Client owns it and feeds it the server's player list, which it
// announces itself; the program wires the lobby's controls to it directly.
class ClientLobby : public QObject {
    Q_OBJECT

public:
    ClientLobby(ClientSession& session, ClientScreen& screen, const ClientSettings& settings,
                ClientChannels& channels, QObject* parent = nullptr);

    // A new connection: nothing is remembered from the menu of an earlier one.
    void reset() { readyBeforeMenu_ = false; }
    // The own players' names, colours and status to the server.
    void sendPlayers();
    // The server's player list into the roster: a chat line for each player
    // who joined, and the own status as listed while in the lobby.
    void takePlayerList(const PayloadCodec::PlayerList& list);
    void showText();
    // The players of a connection that left or was kicked, one chat line each.
    void showLeaving(int connId, bool kicked);

public Q_SLOTS:
    // GUI: the lobby and game controls, chat.
    void setReady();
    void setStart();
    void setMenuOpen(bool open);
    void restartGame();
    void kickPlayer(int id);
    void sendMessage(int playerNr, QString message);

    // A chat line, or the server's notice about the stats (negative ids).
    void processMessage(const PayloadCodec::ChatLine& line);

private:
    ClientSession& session_;
    ClientScreen& screen_;
    const ClientSettings& settings_;
    ClientChannels& channels_;
    bool readyBeforeMenu_ = false;
};
