#pragma once

#include <QCoreApplication>
#include <QString>

#include "client/clientsession.h"
#include "network/connectioninterface.h"

// Texts the client shows from more than one place (the lobby and a game's
// run, a lost connection), and those of the lobby and the game events; in the
// client's translation context.
class ClientTexts {
    Q_DECLARE_TR_FUNCTIONS(Client)

public:
    static QString readyHint(bool splitscreen);
    // The lobby's text for how the last game ended: the ready hint when none
    // did, else the outcome and the hint for a new game.
    static QString lastResult(const ClientSession& session);
    // The lobby's text: the last result, and for the host who can seat a
    // computer player the key for it.
    static QString lobby(const ClientSession& session);
    // Empty, or the key for a computer player behind a paragraph break.
    static QString computerHint(const ClientSession& session);
    // The lobby's text for a player who is ready: whom the start waits for.
    static QString ready(const ClientSession& session);
    // Chat notices about other players.
    static QString joined(const QString& name);
    static QString left(const QString& name, bool kicked);
    // The server's notices about the stats report (ChatSender::kStatsUploaded
    // and kStatsFailed); empty for any other sender.
    static QString statsNotice(int sender);
    static QString spectating();
    static QString paused();
    // The host's lobby line about the own game's invite code and reach.
    static QString invite(const PayloadCodec::RegistrationAnswer& invite);
    static QString startingIn(int count);
    static QString resumingIn(int count);
    static QString highscoreNotSaved();
    // What a failed or lost game connection says; label names the server.
    static QString connectionError(ConnectionInterface::ConnectionError error,
                                   const QString& label);
    // A lost connection ends the game; the others end only the attempt.
    static bool endsTheGame(ConnectionInterface::ConnectionError error);
};
