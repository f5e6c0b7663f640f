#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>

#include "client/clientsettings.h"
#include "client/guistate.h"
#include "client/highscorefile.h"
#include "game/gameplayer.h"
#include "gui/guistack.h"
#include "gui/guitimers.h"
#include "gui/highscoremodel.h"
#include "gui/hudrecords.h"
#include "gui/keycounters.h"
#include "gui/media/creditsroll.h"
#include "gui/media/introsequence.h"
#include "gui/playertable.h"
#include "gui/resolutionlist.h"
#include "gui/serverlistmodel.h"
#include "gui/textfield.h"
#include "network/serverdata.h"

class QKeyEvent;

// One entry of a menu screen as it is drawn and chosen.
struct MenuEntry {
    int index = 0;
    QString text;
    QString value;  // shown after ": " when not empty
    bool enabled = true;
    GuiState editState = GuiState::NoState;  // a text field, edited in this state
    QString placeholder;                     // the field's width
    bool masked = false;                     // drawn as one '*' per character
};

struct MenuScreen {
    QString title;
    QString text;  // a line under the title
    QList<MenuEntry> entries;
};

// Everything the game's one widget decides: the state and message stacks,
// the menus and their values, text fields, keys and mouse, the player and
// server lists, highscores, chat, score and play time. The widget hands it
// events and paints what it holds; its signals are the widget's.
class GuiController : public QObject {
    Q_OBJECT

public:
    static constexpr int kUnlockMs = 500;
    static constexpr int kPulseMs = 20;
    static constexpr int kIntroMs = IntroSequence::kTickMs;
    static constexpr int kFpsMs = 1000;

    // The option values the options screen edits.
    struct Options {
        QString name1;
        QString name2;
        bool invertControls = false;
        int showPreview = 1;  // 0 no, 1 top, 2 bottom
        bool showPointers = true;
        bool showFPS = false;
        bool ignoreColors = false;
        QString resolution;  // a key of the resolution list
        int quality = 2;     // 0 low, 1 normal, 2 high
        bool enableVSync = true;
        bool playSounds = true;
        bool rankedLocal = true;
        bool showIntro = true;
        bool operator==(const Options&) const = default;
    };

    // The host screen's values.
    struct Hosting {
        QString name;
        bool ranked = true;
        bool usePassword = false;
        QString password;
        int maxPlayers = 4;
        QString port;
    };

    // fullscreen: the resolution the program runs at, for the options screen.
    GuiController(const ClientSettings& settings, const HighscoreFile& highscores, QSize fullscreen,
                  TimerSource& timers, QObject* parent = nullptr);
    ~GuiController() override;

    // Parts, for the painters and for tests.
    const GuiStack& stack() const { return stack_; }
    const TextField& field() const { return field_; }
    const KeyCounters& keys() const { return keys_; }
    const PlayerTable& players() const { return players_; }
    const ServerListModel& servers() const { return servers_; }
    const HighscoreModel& highscores() const { return highscoreModel_; }
    ChatLog& chat() { return chat_; }
    PointLabels& labels() { return labels_; }
    ScoreBoard& score() { return score_; }
    const ScoreBoard& score() const { return score_; }
    ResolutionList& resolutions() { return resolutions_; }
    const Clock& clock() const { return timers_.clock(); }

    const Options& options() const { return options_; }
    const Hosting& hosting() const { return hosting_; }
    const QString& address() const { return address_; }
    const QString& joinPassword() const { return joinPassword_; }
    const QString& chatLine() const { return chatLine_; }
    int colour(int local) const { return local == 0 ? colour1_ : colour2_; }

    int currentEntry() const { return currentEntry_; }
    int pulse() const { return pulse_; }
    int introFrame() const { return intro_.frame(); }
    const IntroSequence& intro() const { return intro_; }
    CreditsRoll& credits() { return credits_; }
    // The height the intro and the credits move in.
    void setViewHeight(int height) { viewHeight_ = height; }
    bool retrieving() const { return retrieving_; }
    bool tabHeld() const { return tab_; }
    bool inputLocked() const { return inputLock_; }
    bool windowed() const { return windowed_; }
    bool ownCursor() const { return ownCursor_; }
    bool mouseTracking() const { return mouseTracking_; }
    int maxPlayers() const { return maxPlayers_; }
    bool splitscreen() const { return splitscreen_; }
    bool host() const { return host_; }
    bool spectator() const { return spectator_; }
    int ownConnId() const { return ownConnId_; }
    // Width of the field in columns (12 per player); places the point labels.
    int fieldsizeX() const { return fieldsizeX_; }
    void setFieldsizeX(int columns) { fieldsizeX_ = columns; }

    // A host, join or server list screen of splitscreen play.
    bool splitscreenScreens() const { return stack_.aboveBase() == GuiState::SplitscreenMenu; }
    // The menu screen on show: the top state, or under a field or the chat
    // line being edited the screen below; NoState when no menu shows.
    GuiState menuState() const;
    MenuScreen menu(GuiState state) const;
    // The host may kick now, and the player list shows the kick column.
    bool kickingPossible() const;
    QList<int> kickList() const { return players_.kickList(ownConnId_); }
    // List places of the own connection's first and second player, -1 if none.
    int ownPosition(int local) const;

    // Entry index to screen rectangle; the painters fill it, the mouse reads it.
    QMap<int, QRect>& hitMap() { return hitMap_; }

    // Input from the widget. keyPress returns false for keys it does not use.
    bool keyPress(const QKeyEvent& event);
    void keyRelease(const QKeyEvent& event);
    void mouseMove(QPoint position);
    void mousePress(QPoint position, Qt::MouseButton button);

public Q_SLOTS:
    void setBaseState(GuiState state, QString message);
    void setTopState(GuiState state, QString message);
    void setLastState();
    void setNextGuiState(bool resetCurrentMenuEntry = true);
    void resetGui(bool resetPlayers, int mPlayers, bool splitscreen, bool host, bool spec, int cId);
    void displayError(QString message, bool leaveGame);
    void displayMessage(QString message);
    void displayCountdown(QString message);
    void displayChatMessage(int playerId, QString message);
    void setNextTextMessage();
    void resetChat();
    void updatePlayerlist(QList<int> connIds, QStringList names, QList<int> colors,
                          QList<GamePlayer::PlayerStatus> status);
    void updatePinglist(QList<int> connIds, QList<int> pings);
    void removePlayer(int connId);
    void startPlayTime();
    void pausePlayTime(bool paused);
    void stopPlayTime();
    void setScore(int score, bool add);
    void setPlaytime(QString playtime, bool add);
    void processMasterserverResult(MasterserverResult result);
    void addServer(ServerData server);
    void repeatKey(int i);
    void unlockKeys();
    void setWindowed(bool windowed);
    void blink();
    void playVideo();
    void updateFPS();
    // Line points of the field copy: the score grows and a label rises.
    void addPointLabel(int points, int row);
    // Plays a sound when sounds are on.
    void requestSound(int sound);
    // Leaves the intro or the credits for the main menu.
    void showMainMenu();
    // Runs the intro or the credits from their first tick.
    void startVideo();

Q_SIGNALS:
    void menuMainHost(QString name, int port, int maxPlayers, bool singleplayer, bool splitscreen,
                      bool stats, bool usePassword, QString password);
    void menuMainJoin(bool splitscreen, QString address, bool saveAddress, QString password);
    void menuMainClose();
    void menuGameRestart();
    void menuGameDisconnect();
    void menuGameClose();
    void setMenuOpen(bool open);
    void changedInput(QList<int> input);
    void changedReady();
    void changedStart();
    void changedKick(int id);
    void setColors(int color1, int color2);
    void setOptions(QString name1, QString name2, bool invertControls, int showPreview,
                    bool showPointers, bool showFPS, bool ignoreColors, uint resWidth,
                    uint resHeight, int quality, bool enableVSync, bool playSounds,
                    bool enableStatsSP, bool showIntro);
    void setResolution(uint width, uint height);
    void sendMessage(int playerNr, QString message);
    void abortAction();
    void toggleFullscreen();
    void getServerlist();
    void setLastFilter(int filter);
    void noticedPacketLoss();

    // To the widget: sound 0 land, 1 point, 2 user.
    void soundRequested(int sound);
    void cursorChanged(bool ownCursor, bool mouseTracking);
    void qualityChanged(int quality);
    void vsyncChanged(bool on);
    void screenshotRequested();

private:
    enum class Action { Enter, Right, Left, Back };  // Back: right mouse button

    void applied(GuiState state, bool reset);
    void applyCursor();
    void push(GuiState state) { stack_.push(state, true); }
    void pop() { stack_.setNextGuiState(true); }

    bool editKey(const QKeyEvent& event);
    void finishEdit();
    void startEdit(QString* target, int maxLength, bool spaces, bool digitsOnly, GuiState state);
    void openChat(int player);
    void openGameMenu();
    void lobbyKey(int key);
    void gameKey(int key);
    bool kickKey(int key);
    void stepColour(int local, bool up);
    void menuKey(int key);
    void serverListKey(int key);
    void stepEntry(bool down);
    void activate(int entry, Action action);
    void escape();

    void activateMain(int entry);
    void activateHost(int entry, Action action);
    // The join and password screens: Left and Right switch between their
    // Connect and Back entries, only Enter acts. True when nothing is left to do.
    bool connectBackPair(int entry, Action action);
    void activateJoin(int entry, Action action);
    void activatePassword(int entry, Action action);
    void activateGameMenu(int entry);
    void activateHighscores(int entry, Action action);
    void activateOptions(int entry, Action action);
    void activateServerList(int entry, Action action);

    void hostLocal(bool splitscreen);
    void openHost();
    void openServerList();
    void requestServers();
    void openJoin();
    void openHighscores(int page);
    void openOptions();
    void saveOptions();
    void restoreOptions();
    void playersChanged();
    void clampServerEntry();
    void startPulse();
    void stopPulse();

    MenuScreen hostScreen() const;
    MenuScreen optionsScreen() const;
    MenuScreen serverListScreen() const;
    MenuScreen highscoreScreen() const;
    QString yesNo(bool value) const;

    TimerSource& timers_;
    const HighscoreFile& highscoreFile_;
    GuiStack stack_;
    TextField field_;
    KeyCounters keys_;
    PlayerTable players_;
    ServerListModel servers_;
    HighscoreModel highscoreModel_;
    ChatLog chat_;
    PointLabels labels_;
    ScoreBoard score_;
    ResolutionList resolutions_;

    Options options_;
    Options optionsSnapshot_;
    uint resWidth_ = 0;  // as saved; 0 is the screen's own size
    uint resHeight_ = 0;
    Hosting hosting_;
    Hosting hostingSnapshot_;
    QString address_;
    QString addressSnapshot_;
    QString joinPassword_;
    QString chatLine_;
    int chatPlayer_ = 0;
    int colour1_ = -1;
    int colour2_ = -1;

    int currentEntry_ = 0;
    QMap<int, QRect> hitMap_;
    bool tab_ = false;
    bool inputLock_ = false;
    bool windowed_ = false;
    bool ownCursor_ = true;
    bool mouseTracking_ = true;
    bool retrieving_ = false;
    int maxPlayers_ = 1;
    bool splitscreen_ = false;
    bool host_ = false;
    bool spectator_ = false;
    int ownConnId_ = -1;
    int fieldsizeX_ = 12;
    int pulse_ = 0;
    IntroSequence intro_;
    CreditsRoll credits_;
    int viewHeight_ = 480;
    qint64 videoStartMs_ = 0;
    qint64 videoTicks_ = 0;

    std::unique_ptr<GuiTimer> unlockTimer_;
    std::unique_ptr<GuiTimer> pulseTimer_;
    std::unique_ptr<GuiTimer> introTimer_;
    std::unique_ptr<GuiTimer> fpsTimer_;
};
