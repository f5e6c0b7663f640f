#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>

#include "client/clientsettings.h"
#include "client/guistate.h"
#include "client/highscorefile.h"
#include "gui/hostmenu.h"
#include "gui/menuentry.h"
#include "gui/resolutionlist.h"

class FieldEditor;
class GuiSession;

// The menu screens: which entries each has, the values they show and edit
// (options, the join address and password, the lobby colours; the host
// screen's are HostMenu's), which entry is current and where each was drawn,
// and what activating one does. Its signals carry what the client is asked
// to do.
class MenuModel : public QObject {
    Q_OBJECT

public:
    // Options screen entries that others refer to.
    static constexpr int kPredictMoves = 11;
    static constexpr int kOptionsMeasure = 12;
    static constexpr int kOptionsSave = 13;
    static constexpr int kOptionsBack = 14;

    // How an entry is activated: Enter or a left click, the Right or Left
    // key, or a right click (which steps values backwards).
    enum class Action { Enter, Right, Left, Back };

    // fullscreen: the resolution the program runs at, for the options screen.
    MenuModel(const ClientSettings& settings, const HighscoreFile& highscores, QSize fullscreen,
              GuiSession& session, FieldEditor& editor, QObject* parent = nullptr);
    ~MenuModel() override;

    // The options as saved and as edited; the resolution as a key of the list.
    const ClientSettings::Options& options() const { return options_; }
    const QString& resolution() const { return resolution_; }
    // The host screen's values; the port as typed.
    const ClientSettings::Hosting& hosting() const { return host_.hosting(); }
    const QString& port() const { return host_.port(); }
    const QString& address() const { return address_; }
    const QString& joinPassword() const { return joinPassword_; }
    int colour(int local) const { return local == 0 ? options_.color1 : options_.color2; }
    ResolutionList& resolutions() { return resolutions_; }

    // "Low", "Normal" or "High".
    static QString qualityName(int quality);

    MenuScreen menu(GuiState state) const;
    int currentEntry() const { return currentEntry_; }
    void setCurrentEntry(int entry) { currentEntry_ = entry; }
    // Entry index to screen rectangle; the painters fill it, the mouse reads it.
    QMap<int, QRect>& hitMap() { return hitMap_; }

    // Up and Down: the next entry that can act, wrapping.
    void stepEntry(bool down);
    void activate(int entry, Action action);
    void escape();
    // Escape over the lobby or the game.
    void openGameMenu();
    // Joins address as if it were typed on the Join (direct) screen, which a
    // failed join comes back to: for a link the game was started with.
    void joinDirect(const QString& address);
    // A lobby colour: up from -1 (auto) to 5 and around; only while waiting.
    void stepColour(int local, bool up);
    // The view measured the best quality: applied at once, and saved unless
    // the options screen is open.
    void takeMeasuredQuality(int quality);
    // What measuring says; the options screen shows it in place of the pads.
    void setMeasuringLine(const QString& line) { measuringLine_ = line; }

Q_SIGNALS:
    void menuMainHost(HostRequest request);
    void menuMainJoin(bool splitscreen, QString address, bool saveAddress, QString password);
    void menuMainClose();
    void menuGameRestart();
    void menuGameDisconnect();
    void menuGameClose();
    void setMenuOpen(bool open);
    void setColors(int color1, int color2);
    void setOptions(ClientSettings::Options options);
    void setResolution(uint width, uint height);
    void getServerlist();
    void setLastFilter(int filter);
    // Applied at once, before Save.
    void qualityChanged(int quality);
    void vsyncChanged(bool on);
    // The player asked to measure the best visual quality.
    void measureQuality();

private:
    void applied(GuiState state, bool reset);
    void clampKickEntry();
    void clampServerEntry();
    void push(GuiState state);
    void pop();

    void activateMain(int entry);
    void activateSubmenu(int entry, const QList<void (MenuModel::*)()>& actions);
    void activateHost(int entry, Action action);
    // The join and password screens: Left and Right switch between their
    // Connect and Back entries, the others act. True when nothing is left to do.
    bool connectBackPair(int entry, Action action);
    void activateJoin(int entry, Action action);
    void activatePassword(int entry, Action action);
    void activateGameMenu(int entry);
    void activateHighscores(int entry, Action action);
    void activateOptions(int entry, Action action);
    void activateServerList(int entry, Action action);

    void hostLocal();
    void hostSplitscreen();
    void hostOnThisComputer(bool splitscreen);
    void openHost();
    void openServerList();
    void requestServers();
    void openJoin();
    void openHighscores(int page);
    void openOptions();
    void saveOptions();
    void restoreOptions();

    MenuScreen optionsScreen() const;
    MenuScreen serverListScreen() const;
    MenuScreen highscoreScreen() const;

    GuiSession& session_;
    FieldEditor& editor_;
    QString measuringLine_;
    const HighscoreFile& highscoreFile_;
    ResolutionList resolutions_;

    ClientSettings::Options options_;
    ClientSettings::Options optionsSnapshot_;
    QString resolution_;
    QString resolutionSnapshot_;
    HostMenu host_;
    QString address_;
    QString addressSnapshot_;
    QString joinPassword_;

    int currentEntry_ = 0;
    QMap<int, QRect> hitMap_;
};
