// The menu screens: their entries in order, their values and which can act.
#include "game/appinfo.h"
#include "gui/guisession.h"
#include "gui/menumodel.h"

namespace {

using E = MenuEntries;

}  // namespace

MenuScreen MenuModel::menu(GuiState state) const {
    MenuScreen s;
    switch (state) {
        case GuiState::MainMenu:
            s.entries = {E::entry(0, tr("Singleplayer")), E::entry(1, tr("Multiplayer")),
                         E::entry(2, tr("Splitscreen")),  E::entry(3, tr("Highscore")),
                         E::entry(4, tr("Options")),      E::entry(5, tr("Exit program")),
                         E::entry(6, tr("About"))};
            break;
        case GuiState::MultiplayerMenu:
            s.title = tr("Multiplayer");
            s.entries = {E::entry(0, tr("Host")), E::entry(1, tr("Join (serverlist)")),
                         E::entry(2, tr("Join (direct)")), E::entry(3, tr("Back"))};
            break;
        case GuiState::SplitscreenMenu:
            s.title = tr("Splitscreen");
            s.entries = {E::entry(0, tr("Local")), E::entry(1, tr("Network (host)")),
                         E::entry(2, tr("Network (join via serverlist)")),
                         E::entry(3, tr("Network (join direct)")), E::entry(4, tr("Back"))};
            break;
        case GuiState::HostMenu:
            return host_.screen();
        case GuiState::JoinMenu:
            s.title =
                session_.splitscreenScreens() ? tr("Splitscreen (join)") : tr("Multiplayer (join)");
            s.text = tr("Address, host name or invite code (XXXX-XXXX)");
            s.entries = {E::field(0, tr("Address"), address_, GuiState::EditAddress,
                                  QStringLiteral("123.123.123.123:12345")),
                         E::entry(1, tr("Connect")), E::entry(2, tr("Back"))};
            break;
        case GuiState::PasswordMenu: {
            s.title =
                session_.splitscreenScreens() ? tr("Splitscreen (join)") : tr("Multiplayer (join)");
            s.text = tr("You need a password to enter this server.");
            MenuEntry password =
                E::field(0, tr("Password"), joinPassword_, GuiState::EditJoinPassword,
                         QStringLiteral("************"));
            password.masked = true;
            s.entries = {password, E::entry(1, tr("Connect")), E::entry(2, tr("Back"))};
            break;
        }
        case GuiState::GameMenu:
            s.entries = {E::entry(0, tr("Continue game")),
                         E::entry(1, tr("Restart game"), QString(),
                                  session_.host() && session_.stack().base() == GuiState::Game),
                         E::entry(2, tr("Exit game")),
                         E::entry(3, tr("Highscore")),
                         E::entry(4, tr("Options")),
                         E::entry(5, tr("Exit program"))};
            break;
        case GuiState::HighscoreMenu:
            return highscoreScreen();
        case GuiState::OptionsMenu:
            return optionsScreen();
        case GuiState::ServerList:
            return serverListScreen();
        default:
            break;
    }
    return s;
}

QString MenuModel::qualityName(int quality) {
    const QStringList names{tr("Low"), tr("Normal"), tr("High")};
    return names.value(quality);
}

MenuScreen MenuModel::optionsScreen() const {
    MenuScreen s;
    s.title = tr("Options");
    QStringList pads = session_.gamepads();
    pads.removeAll(QString());
    s.text = pads.isEmpty()     ? tr("Gamepad: none")
             : pads.size() == 1 ? tr("Gamepad: %1").arg(pads.first())
                                : tr("Gamepads: %1").arg(pads.join(QStringLiteral(", ")));
    if (!measuringLine_.isEmpty()) {
        s.text = measuringLine_;
    }
    const ClientSettings::Options& o = options_;
    const QStringList preview{tr("No"), tr("Top"), tr("Bottom")};
    const QString placeholder = QStringLiteral("WWWWWWWWWWWW");
    s.entries = {
        E::field(0, tr("Playername") + QStringLiteral(" 1"), o.name1, GuiState::EditPlayerName1,
                 placeholder),
        E::field(1, tr("Playername") + QStringLiteral(" 2"), o.name2, GuiState::EditPlayerName2,
                 placeholder),
        E::entry(2, tr("Invert horiz. controls"), E::yesNo(o.invertControl)),
        E::entry(3, tr("Show next blocks"), preview.value(o.showPreview)),
        E::entry(4, tr("Show target-marker"), E::yesNo(o.showPointer)),
        E::entry(5, tr("Draw all blocks with the same color"), E::yesNo(o.ignoreColors)),
        E::entry(6, tr("Resolution"), ResolutionList::display(resolution_)),
        E::entry(7, tr("Visual quality"), qualityName(o.quality)),
        E::entry(8, tr("Activate VSync"), E::yesNo(o.enableVSync)),
        E::entry(9, tr("Play sounds"), E::yesNo(o.playSounds)),
        E::entry(10, tr("Play ranked (local)"), E::yesNo(o.enableStatsSP),
                 session_.stack().base() == GuiState::MainMenu),
        E::entry(kPredictMoves, tr("Predict own moves"), E::yesNo(o.predictMoves)),
        // Measuring draws a game in place of the screen: not over a game.
        E::entry(kOptionsMeasure, tr("Find the best visual quality"), QString(),
                 session_.stack().base() == GuiState::MainMenu),
        E::entry(kOptionsSave, tr("Save")),
        E::entry(kOptionsBack, tr("Back")),
    };
    return s;
}

MenuScreen MenuModel::serverListScreen() const {
    MenuScreen s;
    const ServerListModel& servers = session_.servers();
    s.title = session_.splitscreenScreens() ? tr("Splitscreen (join)") : tr("Multiplayer (join)");
    s.text = tr("Page") + QStringLiteral(" %1/%2").arg(servers.page()).arg(servers.pageCount());
    const ServerListModel::Filters& f = servers.filters();
    const QStringList yesNoAll{tr("All"), tr("Yes"), tr("No")};
    const QStringList players{tr("All"), tr("Not empty"), tr("Not full"), tr("Not empty / full")};
    const MasterserverResult r = servers.result();
    const bool filters =
        r != MasterserverResult::ResultNone && r != MasterserverResult::MasterUnreachable;
    s.entries = {
        E::entry(ServerListModel::FilterRanked, tr("Ranked"), yesNoAll.value(f.ranked + 1),
                 filters),
        E::entry(ServerListModel::FilterPassword, tr("Password"), yesNoAll.value(f.password + 1),
                 filters),
        E::entry(ServerListModel::FilterVersion, tr("Version"),
                 f.version == 1 ? tr("Same") : tr("All"), filters),
        E::entry(ServerListModel::FilterPlayers, tr("Players"), players.value(f.players + 1),
                 filters),
        E::entry(ServerListModel::Update, tr("Update")),
        E::entry(ServerListModel::Back, tr("Back")),
    };
    if (servers.entryShown(ServerListModel::PreviousPage)) {
        s.entries.append(E::entry(ServerListModel::PreviousPage,
                                  tr("Page") + QStringLiteral(" %1").arg(servers.page() - 1)));
    }
    if (servers.entryShown(ServerListModel::NextPage)) {
        s.entries.append(E::entry(ServerListModel::NextPage,
                                  tr("Page") + QStringLiteral(" %1").arg(servers.page() + 1)));
    }
    const QStringList headers{tr("Name"), tr("Version"), tr("Players"), tr("Ping")};
    for (int i = 0; i < headers.size(); ++i) {
        s.entries.append(
            E::entry(ServerListModel::FirstHeader + i, headers[i], QString(), servers.listShown()));
    }
    return s;
}

MenuScreen MenuModel::highscoreScreen() const {
    MenuScreen s;
    s.title = tr("Highscore");
    const int page = session_.highscores().page();
    s.text = tr("%n Player(s)", nullptr, page);
    s.entries = {E::entry(0, tr("Back")),
                 E::entry(1, tr("%n Player(s)", nullptr, HighscoreModel::neighbour(page, false))),
                 E::entry(2, tr("%n Player(s)", nullptr, HighscoreModel::neighbour(page, true)))};
    return s;
}
