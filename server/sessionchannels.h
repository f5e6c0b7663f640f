#pragma once

#include <QList>
#include <QString>
#include <map>
#include <optional>

#include "game/keyinput.h"
#include "network/messagecodes.h"
#include "network/payloadcodec.h"

class GameBlock;
class ServerConnection;

// What the server tells its players, each message once: the code table names
// the channel that carries it (the stream, the datagrams, or both for the
// codes that move a client's two connections between the lobby and a game),
// and the moves into and out of a game change both channels' state here, in
// one place, after the message that announces them.
class SessionChannels {
public:
    SessionChannels(ServerConnection& stream, ServerConnection& datagram)
        : stream_(stream), datagram_(datagram) {}

    void playerList(const PayloadCodec::PlayerList& list);
    // sender: a slot, or one of the server's own (ChatSender).
    void chat(int sender, const QString& text);
    void kick(int clientId);
    void start(const PayloadCodec::GameStart& start);
    void restart(int clientId);
    // A joiner's snapshot of the running game; the joiner is in the game after it.
    void gameState(int clientId, const PayloadCodec::GameState& state);
    void newBlock(const GameBlock& block);
    // Unreliable: the next tick's moves overtake lost ones. keysDone: by
    // client id, the key counters carried out for its players. A client hears
    // its counters when they change, kEchoCopies times in a row against loss,
    // and every kEchoRefreshMoves moves; between, it keeps the last it heard.
    void moves(const QList<GameBlock*>& blocks, const QList<int>& activeIds,
               const QList<std::optional<KeyInput>>& keysDone);
    static constexpr int kEchoCopies = 3;
    static constexpr int kEchoRefreshMoves = 10;
    void merges(const QList<GameBlock*>& blocks);
    void pause(const PayloadCodec::Pause& pause);
    void gameOver(const PayloadCodec::GameOver& over);
    // Ends a client's connections; everybody hears it left ("SDSC").
    void disconnect(int clientId);
    // Ends them unannounced: the player stays, waiting for its client.
    void drop(int clientId);
    // Ends every connection: the server shuts down ("SSHD"), byClientId's doing.
    void shutDown(int byClientId);

private:
    // What a client last heard of its carried-out counters.
    struct Echo {
        std::optional<KeyInput> done;
        int copiesLeft = 0;
        int movesSinceSent = 0;
    };

    QList<std::optional<KeyInput>> echoed(const QList<std::optional<KeyInput>>& keysDone);
    template <typename Send>
    void on(MessageCode code, Send send);
    void setInGame(int clientId, bool inGame);

    ServerConnection& stream_;
    ServerConnection& datagram_;
    std::map<int, Echo> echoes_;  // by client id, for the game it is in
};
