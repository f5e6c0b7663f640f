#pragma once

#include <QObject>
#include <QString>

#include "client/guistate.h"

// The game the screens show, as a join or a new game sets it.
struct JoinedGame {
    bool newPlayers = false;  // a join: the player list starts anew
    int maxPlayers = 4;
    bool splitscreen = false;
    bool host = false;
    bool spectator = false;  // a late joiner watching the running game
    int ownConnId = -1;
    friend bool operator==(const JoinedGame&, const JoinedGame&) = default;
};

// What the client puts on the GUI's screens: which screen, its message, the
// countdown, errors and chat lines, and a fresh GUI for a new game. The state
// machine (Client) and the game events (ClientGame) both speak through it, so
// the program wires one object to the GUI's state stack and session.
class ClientScreen : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    // NoState changes only the message of the current base state.
    void setGuiBaseState(GuiState state, QString message);
    void setGuiTopState(GuiState state, QString message);
    // Back to the screen before the one the last attempt came from.
    void setGuiLastState();
    // leaveGame: the error ended the game, and the GUI leaves it.
    void displayError(QString message, bool leaveGame);
    void displayCountdown(QString message);
    // playerId: the sender's place in the list, or one of the notices of
    // ChatSender.
    void displayChatMessage(int playerId, QString message);
    void resetGui(JoinedGame game);
    void resetChat();
    // Where friends can reach the own server's game, for the host's lobby;
    // empty once there is nothing to say.
    void displayReachability(QString line);
    // The own server's invite code as players type it ("XXXX-XXXX"), for the
    // host to copy; empty once there is none.
    void displayInviteCode(QString code);
};
