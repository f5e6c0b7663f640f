#pragma once

#include <QCursor>
#include <QList>
#include <QOpenGLWidget>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "client/guistate.h"
#include "game/blockrecords.h"
#include "game/gameblock.h"
#include "game/gameplayer.h"
#include "gui/guicontroller.h"
#include "gui/guimetrics.h"
#include "gui/resolutionlist.h"
#include "gui/scene/scenefield.h"
#include "gui/scene/scenerenderer.h"
#include "network/serverdata.h"

class Client;
class QTimer;
class SoundEffects;

// What the widget would otherwise take from the process.
struct GuiEnvironment {
    TimerSource* timers = nullptr;  // null: Qt's timers and the steady clock
    QString screenshotDirectory;    // empty: the working directory
    // The display modes the options offer; empty: the screens Qt reports.
    std::function<QList<DisplayMode>()> displayModes;
    // Repaints frame after frame; tests that only grab frames turn it off.
    bool continuousRepaint = true;
    // What the room and its relief are textured with; null: the game's own.
    std::function<SceneTextures()> textures;
};

// The game's one widget: every screen of the game is painted in it and every
// key and click arrives here. What to show and what a key does is decided by
// the GuiController it owns; the widget passes events on, paints, and keeps
// the signal and slot names the rest of the program connects to.
class GLWidget : public QOpenGLWidget {
    Q_OBJECT

public:
    // Reads the client's saved options and highscores (the client outlives
    // the widget); resWidth by resHeight is the full-screen resolution.
    GLWidget(Client* client, uint resWidth, uint resHeight, QWidget* parent = nullptr,
             GuiEnvironment environment = {});
    ~GLWidget() override;

    GuiController& controller() { return *gui_; }
    // The field copy the 3D scene shows.
    const SceneField& scene() const { return scene_; }
    SceneField& scene() { return scene_; }
    const GuiMetrics& metrics() const { return metrics_; }
    QSize minimumSizeHint() const override { return QSize(640, 480); }

    // The display modes changed (the main window went full screen).
    void rebuildResolutions();
    // Line points of the field copy: score and a rising label.
    void addPointLabel(int points, int row) { gui_->addPointLabel(points, row); }
    // The one place a sound is asked for (0 land, 1 point, 2 user); nothing
    // happens when sounds are off.
    void playSound(int sound) { gui_->requestSound(sound); }
    // Saves the frame as the next free "screenshots/sc_%1.png"; the file, or empty.
    QString saveScreenshot();

public Q_SLOTS:
    void setBaseState(GuiState state, QString message);
    void setTopState(GuiState state, QString message);
    void setLastState();
    void setNextGuiState(bool resetCurrentMenuEntry = true);
    void resetGui(bool resetPlayers, int mPlayers, bool splitscreen, bool host, bool spec, int cId);
    void resetChat();
    void displayError(QString message, bool leaveGame);
    void displayMessage(QString message);
    void displayCountdown(QString message);
    void displayChatMessage(int playerId, QString message);
    void setNextTextMessage();
    void updatePlayerlist(QList<int> connIds, QStringList names, QList<int> colors,
                          QList<GamePlayer::PlayerStatus> status);
    void updatePinglist(QList<int> connIds, QList<int> pings);
    void removePlayer(int playerId);
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
    void playVideo();
    void updateFPS();

    void setFieldsizeX(int sizeX);
    void setRotation(bool rotate);

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
    // A sound to play: 0 land, 1 point, 2 user.
    void soundRequested(int sound);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // Tab belongs to the game (the full player list), not to the focus chain.
    bool focusNextPrevChild(bool next) override;

private:
    void updateCursor(bool ownCursor, bool mouseTracking);
    // Whether the picture changes by itself from frame to frame.
    bool animating() const;
    // The camera turns while the field copy says so.
    void followRotation();
    void applyVSync(bool on);
    SceneOptions sceneOptions() const;

    GuiEnvironment environment_;
    NotifyingTimerSource timers_;  // a timer that fired asks for a frame
    GuiMetrics metrics_;
    std::unique_ptr<GuiController> gui_;
    std::unique_ptr<SoundEffects> sounds_;
    QCursor cursor_;

    SceneField scene_;
    SceneRenderer renderer_;
    std::unique_ptr<GuiTimer> cameraTimer_;
};

// The connections between the widget and the client, both ways.
void connectWidgetAndClient(GLWidget& widget, Client& client);
