// The menu screens: their entries in order, their values and which can act.
#include "game/appinfo.h"
#include "gui/guisession.h"
#include "gui/menumodel.h"

namespace {

MenuEntry entry(int index, const QString& text, const QString& value = QString(),
                bool enabled = true) {
    MenuEntry e;
    e.index = index;
    e.text = text;
    e.value = value;
    e.enabled = enabled;
    return e;
}

MenuEntry fieldEntry(int index, const QString& text, const QString& value, GuiState state,
                     const QString& placeholder, bool enabled = true) {
    MenuEntry e = entry(index, text, value, enabled);
    e.editState = state;
    e.placeholder = placeholder;
    return e;
}

}  // namespace

QString MenuModel::yesNo(bool value) const {
    return value ? tr("Yes") : tr("No");
}

MenuScreen MenuModel::menu(GuiState state) const {
    MenuScreen s;
    switch (state) {
        case GuiState::MainMenu:
            s.entries = {entry(0, tr("Singleplayer")), entry(1, tr("Multiplayer")),
                         entry(2, tr("Splitscreen")),  entry(3, tr("Highscore")),
                         entry(4, tr("Options")),      entry(5, tr("Exit program")),
                         entry(6, tr("About"))};
            break;
        case GuiState::MultiplayerMenu:
            s.title = tr("Multiplayer");
            s.entries = {entry(0, tr("Host")), entry(1, tr("Join (serverlist)")),
                         entry(2, tr("Join (direct)")), entry(3, tr("Back"))};
            break;
        case GuiState::SplitscreenMenu:
            s.title = tr("Splitscreen");
            s.entries = {entry(0, tr("Local")), entry(1, tr("Network (host)")),
                         entry(2, tr("Network (join via serverlist)")),
                         entry(3, tr("Network (join direct)")), entry(4, tr("Back"))};
            break;
        case GuiState::HostMenu:
            return hostScreen();
        case GuiState::JoinMenu:
            s.title =
                session_.splitscreenScreens() ? tr("Splitscreen (join)") : tr("Multiplayer (join)");
            s.entries = {fieldEntry(0, tr("IP-Address"), address_, GuiState::EditAddress,
                                    QStringLiteral("123.123.123.123:12345")),
                         entry(1, tr("Connect")), entry(2, tr("Back"))};
            break;
        case GuiState::PasswordMenu: {
            s.title =
                session_.splitscreenScreens() ? tr("Splitscreen (join)") : tr("Multiplayer (join)");
            s.text = tr("You need a password to enter this server.");
            MenuEntry password =
                fieldEntry(0, tr("Password"), joinPassword_, GuiState::EditJoinPassword,
                           QStringLiteral("************"));
            password.masked = true;
            s.entries = {password, entry(1, tr("Connect")), entry(2, tr("Back"))};
            break;
        }
        case GuiState::GameMenu:
            s.entries = {entry(0, tr("Continue game")),
                         entry(1, tr("Restart game"), QString(),
                               session_.host() && session_.stack().base() == GuiState::Game),
                         entry(2, tr("Exit game")),
                         entry(3, tr("Highscore")),
                         entry(4, tr("Options")),
                         entry(5, tr("Exit program"))};
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

MenuScreen MenuModel::hostScreen() const {
    MenuScreen s;
    s.title = session_.splitscreenScreens() ? tr("Splitscreen (host)") : tr("Multiplayer (host)");
    const ClientSettings::Hosting& h = hosting_;
    s.entries = {
        fieldEntry(0, tr("Name"), h.name, GuiState::EditServerName,
                   QStringLiteral("WWWWWWWWWWWWWWWWWW")),
        entry(1, tr("Ranked"), yesNo(h.ranked)),
        entry(2, tr("Use password"), yesNo(h.usePassword)),
        fieldEntry(3, tr("Password"), h.password, GuiState::EditHostPassword,
                   QStringLiteral("WWWWWWWWWWWW"), h.usePassword),
        entry(4, tr("Max. players"), QString::number(h.maxPlayers)),
        fieldEntry(5, tr("Port"), port_, GuiState::EditPort, QStringLiteral("00000")),
        entry(6, tr("Open port on router"), yesNo(h.openPort)),
        // Without a free place no computer can sit nor take anyone's over.
        entry(7, tr("Computer players"), QString::number(hostComputers()), seatsForComputers() > 0),
        entry(8, tr("Computer skill"), skillText(h.computerSkill), seatsForComputers() > 0),
        entry(9, tr("Take over for players who leave"), yesNo(h.computerTakeover),
              seatsForComputers() > 0),
        entry(10, tr("Host")),
        entry(11, tr("Back")),
    };
    return s;
}

QString MenuModel::skillText(ComputerSkill skill) const {
    switch (skill) {
        case ComputerSkill::Easy:
            return tr("Easy");
        case ComputerSkill::Hard:
            return tr("Hard");
        default:
            return tr("Normal");
    }
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
        fieldEntry(0, tr("Playername") + QStringLiteral(" 1"), o.name1, GuiState::EditPlayerName1,
                   placeholder),
        fieldEntry(1, tr("Playername") + QStringLiteral(" 2"), o.name2, GuiState::EditPlayerName2,
                   placeholder),
        entry(2, tr("Invert horiz. controls"), yesNo(o.invertControl)),
        entry(3, tr("Show next blocks"), preview.value(o.showPreview)),
        entry(4, tr("Show target-marker"), yesNo(o.showPointer)),
        entry(5, tr("Draw all blocks with the same color"), yesNo(o.ignoreColors)),
        entry(6, tr("Resolution"), ResolutionList::display(resolution_)),
        entry(7, tr("Visual quality"), qualityName(o.quality)),
        entry(8, tr("Activate VSync"), yesNo(o.enableVSync)),
        entry(9, tr("Play sounds"), yesNo(o.playSounds)),
        entry(10, tr("Play ranked (local)"), yesNo(o.enableStatsSP),
              session_.stack().base() == GuiState::MainMenu),
        entry(kPredictMoves, tr("Predict own moves"), yesNo(o.predictMoves)),
        // Measuring draws a game in place of the screen: not over a game.
        entry(kOptionsMeasure, tr("Find the best visual quality"), QString(),
              session_.stack().base() == GuiState::MainMenu),
        entry(kOptionsSave, tr("Save")),
        entry(kOptionsBack, tr("Back")),
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
        entry(ServerListModel::FilterRanked, tr("Ranked"), yesNoAll.value(f.ranked + 1), filters),
        entry(ServerListModel::FilterPassword, tr("Password"), yesNoAll.value(f.password + 1),
              filters),
        entry(ServerListModel::FilterVersion, tr("Version"),
              f.version == 1 ? tr("Same") : tr("All"), filters),
        entry(ServerListModel::FilterPlayers, tr("Players"), players.value(f.players + 1), filters),
        entry(ServerListModel::Update, tr("Update")),
        entry(ServerListModel::Back, tr("Back")),
    };
    if (servers.entryShown(ServerListModel::PreviousPage)) {
        s.entries.append(entry(ServerListModel::PreviousPage,
                               tr("Page") + QStringLiteral(" %1").arg(servers.page() - 1)));
    }
    if (servers.entryShown(ServerListModel::NextPage)) {
        s.entries.append(entry(ServerListModel::NextPage,
                               tr("Page") + QStringLiteral(" %1").arg(servers.page() + 1)));
    }
    const QStringList headers{tr("Name"), tr("Version"), tr("Players"), tr("Ping")};
    for (int i = 0; i < headers.size(); ++i) {
        s.entries.append(
            entry(ServerListModel::FirstHeader + i, headers[i], QString(), servers.listShown()));
    }
    return s;
}

MenuScreen MenuModel::highscoreScreen() const {
    MenuScreen s;
    s.title = tr("Highscore");
    const int page = session_.highscores().page();
    s.text = tr("%n Player(s)", nullptr, page);
    s.entries = {entry(0, tr("Back")),
                 entry(1, tr("%n Player(s)", nullptr, HighscoreModel::neighbour(page, false))),
                 entry(2, tr("%n Player(s)", nullptr, HighscoreModel::neighbour(page, true)))};
    return s;
}
