#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <vector>

#include "apps/bot/botoptions.h"
#include "client/client.h"
#include "game/computerplayer.h"
#include "game/fieldmirror.h"
#include "game/keyinput.h"
#include "game/movepredictor.h"
#include "game/placementpolicy.h"
#include "game/randomsource.h"

// A player without a window: joins through the game's own Client (probe,
// version check, hello), readies, and plays its 12-column part of the ring
// with PlacementPolicy or, at a skill level, a ComputerPlayer on its copy of
// the field, one key press at a time, for a number of games; then it leaves. Its settings and
// highscore files live in a directory of its own that goes with it.
class Bot : public QObject {
    Q_OBJECT

public:
    // A press the server carried out that the copy does not show was
    // refused: it is given up at once, and the piece is dropped where it is
    // (its target is out of reach). One that the server has not carried out
    // for this long is given up too: a step the stack refuses stays pending
    // on the server.
    static constexpr int kGiveUpMs = 1000;
    // Every so often the counters go out again, in case a datagram was lost.
    static constexpr int kRepeatMs = 100;
    // One piece in this many lands at a place the bot's random source picks
    // among those inside the columns it fills.
    static constexpr int kWhimEvery = 10;
    // Game over comes over the stream, while lost datagrams may still be on
    // their way again: the game is reported once the bot's copy of the field
    // has the server's line count, or after this long.
    static constexpr int kCatchUpMs = 1000;
    // How often a computer player looks at its copy between events: it presses
    // on its own clock, not only when something moves.
    static constexpr int kThinkMs = 20;
    // Latency samples kept (the first ones of a long run).
    static constexpr std::size_t kMaxEchoSamples = std::size_t{1} << 17;

    explicit Bot(const BotOptions& options, const ClientNetwork& network = {},
                 QObject* parent = nullptr);
    ~Bot() override;

    // Joins the server; gameFinished and finally finished follow.
    void start();

    Client& client() { return *client_; }
    const FieldMirror& mirror() const { return client_->field().mirror(); }
    int gamesPlayed() const { return gamesPlayed_; }
    // Presses sent in the running game.
    int presses() const { return presses_; }
    // Milliseconds from each step or turn pressed to the movement showing it
    // (with --predict: on the bot's copy, at once where predicted).
    const std::vector<double>& echoMilliseconds() const { return echoMs_; }
    const MovePredictor::Figures& predictionFigures() const {
        return client_->field().predictionFigures();
    }
    // One line on the predicted moves: how many, how many were corrected (also
    // per 1,000) and how far the corrected blocks jumped, in cells.
    QString predictionSummary() const;

Q_SIGNALS:
    void gameFinished(int game, int score, int lines, QString playtime);
    // What a ranked server says about the stats report of a game.
    void statsNotice(QString message);
    // The lobby's word on how the game is reached (through the relay).
    void reachability(QString line);
    // 0 after the last game; otherwise error holds the reason.
    void finished(int exitCode, QString error);

private:
    void connectScreen();
    void connectGame();
    // The bot plays and reports as the client's copy of the field changes.
    void connectField();
    void processBaseState(GuiState state);
    void processError(const QString& message);
    void processGameStart();
    void processGameOver(int score, int lines, const QString& playtime);
    void reportGame();
    void writeStats() const;
    void processPlayerlist(const QList<int>& connIds);
    void think();
    void thinkAsComputer(int blockId);
    void repeat();
    PlacementPolicy::Target chooseTarget(const GameBlock& block);
    void press(int key, const GameBlock& block, int column);
    void sendKeys();
    void finish(int exitCode, const QString& error);

    BotOptions options_;
    QTemporaryDir directory_;
    std::unique_ptr<Client> client_;
    RandomSource random_;
    QTimer repeatTimer_;
    QTimer catchUpTimer_;
    QTimer thinkTimer_;
    std::unique_ptr<ComputerPlayer> computer_;  // none for the simple policy
    QElapsedTimer playClock_;                   // since the game began: its speed

    KeyInput keys_;        // the first local player's counters are the bot's
    KeyInput carriedOut_;  // as the server's last movements said
    QList<int> listedConnIds_;
    bool playing_ = false;   // pressing keys
    bool counting_ = false;  // in a game that counts once it is over
    bool leaving_ = false;
    bool done_ = false;
    int gamesPlayed_ = 0;
    int presses_ = 0;
    int partColumn_ = 0;  // first column of the own part

    // The game over waiting to be reported.
    bool reportPending_ = false;
    int serverScore_ = 0;
    int serverLines_ = 0;
    int linesSeen_ = 0;  // on the copy, as of its last merge
    // Came into the running game by its snapshot (back in its seat): the
    // rows cleared before are not on the copy, so the server's count stands.
    bool fromSnapshot_ = false;
    QString playtime_;

    // The piece being played and the press that is under way.
    int pieceId_ = -1;
    PlacementPolicy::Target target_;
    bool givenUp_ = false;
    bool pressPending_ = false;
    int pressKey_ = -1;
    int pressRotation_ = -1;
    int pressColumn_ = -1;
    QElapsedTimer pressClock_;
    std::vector<double> echoMs_;
};
