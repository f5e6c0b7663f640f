#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "client/clientscreen.h"
#include "client/guistate.h"
#include "game/gameplayer.h"
#include "gui/guistack.h"
#include "gui/guitimers.h"
#include "gui/highscoremodel.h"
#include "gui/hudrecords.h"
#include "gui/media/creditsroll.h"
#include "gui/media/introsequence.h"
#include "gui/playertable.h"
#include "gui/serverlistmodel.h"
#include "network/serverdata.h"

// What the screens show, as the client and the game's own timers change it:
// the state and message stacks, the facts of the game joined, the player and
// server lists, highscores, chat, score and play time, the pulse and the
// intro or credits. The client drives its slots and those of its stack;
// every change ends in changed(), the one signal the view repaints on. Menus
// and input read and change it, it knows neither.
class GuiSession : public QObject {
    Q_OBJECT

public:
    static constexpr int kPulseMs = 20;
    static constexpr int kIntroMs = IntroSequence::kTickMs;
    static constexpr int kFpsMs = 1000;

    // viewHeight: what the intro and the credits move in until the view says.
    GuiSession(TimerSource& timers, bool showIntro, int viewHeight, QObject* parent = nullptr);
    ~GuiSession() override;

    GuiStack& stack() { return stack_; }
    const GuiStack& stack() const { return stack_; }
    const PlayerTable& players() const { return players_; }
    ServerListModel& servers() { return servers_; }
    const ServerListModel& servers() const { return servers_; }
    HighscoreModel& highscores() { return highscores_; }
    const HighscoreModel& highscores() const { return highscores_; }
    // The painters let chat lines and point labels expire as they draw them.
    ChatLog& chat() { return chat_; }
    PointLabels& labels() { return labels_; }
    const PointLabels& labels() const { return labels_; }
    ScoreBoard& score() { return score_; }
    const ScoreBoard& score() const { return score_; }
    const IntroSequence& intro() const { return intro_; }
    CreditsRoll& credits() { return credits_; }
    const Clock& clock() const { return timers_.clock(); }

    // The game joined, as the last resetGui told.
    int maxPlayers() const { return joined_.maxPlayers; }
    bool splitscreen() const { return joined_.splitscreen; }
    bool host() const { return joined_.host; }
    bool spectator() const { return joined_.spectator; }
    int ownConnId() const { return joined_.ownConnId; }
    // The host's line on where friends can reach the game; empty: none.
    const QString& reachability() const { return reachability_; }
    // The own game's invite code ("XXXX-XXXX"); empty: none.
    const QString& inviteCode() const { return inviteCode_; }
    // Puts the invite code on the clipboard and says so; nothing without one.
    void copyInviteCode();
    // Width of the field in columns (12 per player); places the point labels.
    int fieldsizeX() const { return fieldsizeX_; }

    // The menu screen on show: the top state, or under a field or the chat
    // line being edited the screen below; NoState when no menu shows.
    GuiState menuState() const;
    // A host, join or server list screen of splitscreen play.
    bool splitscreenScreens() const { return stack_.aboveBase() == GuiState::SplitscreenMenu; }
    // Tab held over a game: the full player list, for the host the kick list.
    bool tabHeld() const { return tab_; }
    void setTabHeld(bool held);
    // The host may kick now, and the player list shows the kick column.
    bool kickingPossible() const;
    QList<int> kickList() const { return players_.kickList(joined_.ownConnId); }
    // List places of the own connection's first and second player, -1 if none.
    int ownPosition(int local) const;

    bool windowed() const { return windowed_; }
    // The gamepads in use by player (empty: none), for the options screen.
    const QStringList& gamepads() const { return gamepads_; }
    // The game's own pointer, followed by the mouse, in the menus and where
    // the host can pick a player to kick; otherwise none unless windowed.
    bool mouseTracking() const;
    bool ownCursor() const { return mouseTracking() || windowed_; }

    // The server list is being fetched: the pulse turns its wheel.
    bool retrieving() const { return retrieving_; }
    void setRetrieving(bool on);
    // 0 to 100 every two seconds while a caret, pause sign or wheel shows.
    int pulse() const { return pulse_; }
    void startPulse();
    void stopPulse();

    int introFrame() const { return intro_.frame(); }
    // The height the intro and the credits move in.
    void setViewHeight(int height) { viewHeight_ = height; }
    // Leaves the intro or the credits for the main menu.
    void showMainMenu();
    // The credits from their first line.
    void showCredits();

public Q_SLOTS:
    void resetGui(const JoinedGame& game);
    void displayChatMessage(int playerId, QString message);
    void resetChat();
    void updatePlayerlist(const PayloadCodec::PlayerList& list);
    void updatePinglist(const PayloadCodec::PingList& list);
    void removePlayer(int connId);
    void startPlayTime();
    void pausePlayTime(bool paused);
    void stopPlayTime();
    void setScore(int score, bool add);
    void setPlaytime(QString playtime, bool add);
    void processMasterserverResult(MasterserverResult result);
    void addServer(ServerData server);
    // The local networks are asked again: games that stopped answering go.
    void beginLanRound();
    void setFieldsizeX(int columns);
    void setWindowed(bool windowed);
    void setGamepads(QStringList names);
    void setReachability(QString line);
    void setInviteCode(QString code);
    // Line points of the field copy: the score grows and a label rises.
    void addPointLabel(int points, int row);
    void blink();
    void playVideo();
    void updateFPS();

Q_SIGNALS:
    // Anything shown may have changed.
    void changed();
    // A new top state was applied; menus and input follow it.
    void stateApplied(GuiState state, bool resetCurrentMenuEntry);
    // The players, or the servers listed, changed.
    void playersChanged();
    void serversChanged();
    // A new game: players, score and keys start over.
    void gameReset();
    // 0 land, 1 point, 2 user; whether it plays is the options' business.
    void soundRequested(int sound);
    void cursorChanged(bool ownCursor, bool mouseTracking);

private:
    void applied(GuiState state, bool reset);
    void applyCursor();
    void startVideo();

    TimerSource& timers_;
    GuiStack stack_;
    PlayerTable players_;
    ServerListModel servers_;
    HighscoreModel highscores_;
    ChatLog chat_;
    PointLabels labels_;
    ScoreBoard score_;
    IntroSequence intro_;
    CreditsRoll credits_;

    // The game joined.
    JoinedGame joined_{.maxPlayers = 1};
    int fieldsizeX_ = GameField::kColumnsPerPlayer;
    std::unique_ptr<GuiTimer> fpsTimer_;

    bool tab_ = false;
    bool windowed_ = false;
    QStringList gamepads_;
    QString reachability_;
    QString inviteCode_;
    bool retrieving_ = false;
    int pulse_ = 0;
    std::unique_ptr<GuiTimer> pulseTimer_;

    // The intro and the credits keep their pace by the clock.
    int viewHeight_ = 480;
    qint64 videoStartMs_ = 0;
    qint64 videoTicks_ = 0;
    std::unique_ptr<GuiTimer> introTimer_;
};
