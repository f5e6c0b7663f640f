// The menu screens: their entries in order, and what each entry does.
#include <algorithm>

#include "game/appinfo.h"
#include "gui/guicontroller.h"

namespace {

const QString kUseOldAddress = QStringLiteral("USEOLDONE");
const QString kEmptyAddress = QStringLiteral("...");

QString passwordWithMarker(const QString& password) {
    return QLatin1Char(Quadrell::kPasswordMarker) + password;
}

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

QString GuiController::yesNo(bool value) const {
    return value ? tr("Yes") : tr("No");
}

MenuScreen GuiController::menu(GuiState state) const {
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
            s.title = splitscreenScreens() ? tr("Splitscreen (join)") : tr("Multiplayer (join)");
            s.entries = {fieldEntry(0, tr("IP-Address"), address_, GuiState::EditAddress,
                                    QStringLiteral("123.123.123.123:12345")),
                         entry(1, tr("Connect")), entry(2, tr("Back"))};
            break;
        case GuiState::PasswordMenu: {
            s.title = splitscreenScreens() ? tr("Splitscreen (join)") : tr("Multiplayer (join)");
            s.text = tr("You need a password to enter this server.");
            MenuEntry password =
                fieldEntry(0, tr("Password"), joinPassword_, GuiState::EditJoinPassword,
                           QStringLiteral("************"));
            password.masked = true;
            s.entries = {password, entry(1, tr("Connect")), entry(2, tr("Back"))};
            break;
        }
        case GuiState::GameMenu:
            s.entries = {
                entry(0, tr("Continue game")),
                entry(1, tr("Restart game"), QString(), host_ && stack_.base() == GuiState::Game),
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

MenuScreen GuiController::hostScreen() const {
    MenuScreen s;
    s.title = splitscreenScreens() ? tr("Splitscreen (host)") : tr("Multiplayer (host)");
    const Hosting& h = hosting_;
    s.entries = {
        fieldEntry(0, tr("Name"), h.name, GuiState::EditServerName,
                   QStringLiteral("WWWWWWWWWWWWWWWWWW")),
        entry(1, tr("Ranked"), yesNo(h.ranked)),
        entry(2, tr("Use password"), yesNo(h.usePassword)),
        fieldEntry(3, tr("Password"), h.password, GuiState::EditHostPassword,
                   QStringLiteral("WWWWWWWWWWWW"), h.usePassword),
        entry(4, tr("Max. players"), QString::number(h.maxPlayers)),
        fieldEntry(5, tr("Port"), h.port, GuiState::EditPort, QStringLiteral("00000")),
        entry(6, tr("Host")),
        entry(7, tr("Back")),
    };
    return s;
}

MenuScreen GuiController::optionsScreen() const {
    MenuScreen s;
    s.title = tr("Options");
    const Options& o = options_;
    const QStringList preview{tr("No"), tr("Top"), tr("Bottom")};
    const QStringList quality{tr("Low"), tr("Normal"), tr("High")};
    const QString placeholder = QStringLiteral("WWWWWWWWWWWW");
    s.entries = {
        fieldEntry(0, tr("Playername") + QStringLiteral(" 1"), o.name1, GuiState::EditPlayerName1,
                   placeholder),
        fieldEntry(1, tr("Playername") + QStringLiteral(" 2"), o.name2, GuiState::EditPlayerName2,
                   placeholder),
        entry(2, tr("Invert horiz. controls"), yesNo(o.invertControls)),
        entry(3, tr("Show next blocks"), preview.value(o.showPreview)),
        entry(4, tr("Show target-marker"), yesNo(o.showPointers)),
        entry(5, tr("Draw all blocks with the same color"), yesNo(o.ignoreColors)),
        entry(6, tr("Resolution"), ResolutionList::display(o.resolution)),
        entry(7, tr("Visual quality"), quality.value(o.quality)),
        entry(8, tr("Activate VSync"), yesNo(o.enableVSync)),
        entry(9, tr("Play sounds"), yesNo(o.playSounds)),
        entry(10, tr("Play ranked (local)"), yesNo(o.rankedLocal),
              stack_.base() == GuiState::MainMenu),
        entry(11, tr("Save")),
        entry(12, tr("Back")),
    };
    return s;
}

MenuScreen GuiController::serverListScreen() const {
    MenuScreen s;
    s.title = splitscreenScreens() ? tr("Splitscreen (join)") : tr("Multiplayer (join)");
    s.text = tr("Page") + QStringLiteral(" %1/%2").arg(servers_.page()).arg(servers_.pageCount());
    const ServerListModel::Filters& f = servers_.filters();
    const QStringList yesNoAll{tr("All"), tr("Yes"), tr("No")};
    const QStringList players{tr("All"), tr("Not empty"), tr("Not full"), tr("Not empty / full")};
    const MasterserverResult r = servers_.result();
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
    if (servers_.entryShown(ServerListModel::PreviousPage)) {
        s.entries.append(entry(ServerListModel::PreviousPage,
                               tr("Page") + QStringLiteral(" %1").arg(servers_.page() - 1)));
    }
    if (servers_.entryShown(ServerListModel::NextPage)) {
        s.entries.append(entry(ServerListModel::NextPage,
                               tr("Page") + QStringLiteral(" %1").arg(servers_.page() + 1)));
    }
    const QStringList headers{tr("Name"), tr("Version"), tr("Players"), tr("Ping")};
    for (int i = 0; i < headers.size(); ++i) {
        s.entries.append(
            entry(ServerListModel::FirstHeader + i, headers[i], QString(), servers_.listShown()));
    }
    return s;
}

MenuScreen GuiController::highscoreScreen() const {
    MenuScreen s;
    s.title = tr("Highscore");
    const int page = highscoreModel_.page();
    s.text = tr("%n Player(s)", nullptr, page);
    s.entries = {entry(0, tr("Back")),
                 entry(1, tr("%n Player(s)", nullptr, HighscoreModel::neighbour(page, false))),
                 entry(2, tr("%n Player(s)", nullptr, HighscoreModel::neighbour(page, true)))};
    return s;
}

// ---------------------------------------------------------------------------
// Activation

void GuiController::activate(int entry, Action action) {
    switch (stack_.top()) {
        case GuiState::MainMenu:
            if (action == Action::Enter) {
                activateMain(entry);
            }
            break;
        case GuiState::MultiplayerMenu:
            if (action != Action::Enter) {
                break;
            }
            switch (entry) {
                case 0:
                    openHost();
                    break;
                case 1:
                    openServerList();
                    break;
                case 2:
                    openJoin();
                    break;
                case 3:
                    pop();
                    break;
                default:
                    break;
            }
            break;
        case GuiState::SplitscreenMenu:
            if (action != Action::Enter) {
                break;
            }
            switch (entry) {
                case 0:
                    hostLocal(true);
                    break;
                case 1:
                    openHost();
                    break;
                case 2:
                    openServerList();
                    break;
                case 3:
                    openJoin();
                    break;
                case 4:
                    pop();
                    break;
                default:
                    break;
            }
            break;
        case GuiState::HostMenu:
            activateHost(entry, action);
            break;
        case GuiState::JoinMenu:
            activateJoin(entry, action);
            break;
        case GuiState::PasswordMenu:
            activatePassword(entry, action);
            break;
        case GuiState::GameMenu:
            if (action == Action::Enter) {
                activateGameMenu(entry);
            }
            break;
        case GuiState::HighscoreMenu:
            activateHighscores(entry, action);
            break;
        case GuiState::OptionsMenu:
            activateOptions(entry, action);
            break;
        case GuiState::ServerList:
            activateServerList(entry, action);
            break;
        default:
            break;
    }
}

void GuiController::escape() {
    switch (stack_.top()) {
        case GuiState::MainMenu:
            break;
        case GuiState::JoinMenu:
            address_ = addressSnapshot_;
            pop();
            break;
        case GuiState::PasswordMenu:
            activatePassword(2, Action::Enter);
            break;
        case GuiState::GameMenu:
            activateGameMenu(0);
            break;
        case GuiState::OptionsMenu:
            restoreOptions();
            break;
        default:
            // Host values edited so far stay.
            pop();
            break;
    }
}

void GuiController::activateMain(int entry) {
    switch (entry) {
        case 0:
            hostLocal(false);
            break;
        case 1:
            push(GuiState::MultiplayerMenu);
            break;
        case 2:
            push(GuiState::SplitscreenMenu);
            break;
        case 3:
            openHighscores(1);
            break;
        case 4:
            openOptions();
            break;
        case 5:
            Q_EMIT menuMainClose();
            break;
        case 6:
            stack_.setBaseState(GuiState::About, QString());
            credits_.restart();
            startVideo();
            break;
        default:
            break;
    }
}

void GuiController::hostLocal(bool splitscreen) {
    push(GuiState::Notice);
    Q_EMIT menuMainHost(QString(), hosting_.port.toInt(), splitscreen ? 2 : 1, true, splitscreen,
                        options_.rankedLocal, true, QString());
}

void GuiController::openHost() {
    hostingSnapshot_ = hosting_;
    hosting_.maxPlayers = std::max(hosting_.maxPlayers, splitscreenScreens() ? 2 : 1);
    push(GuiState::HostMenu);
}

void GuiController::openServerList() {
    push(GuiState::ServerList);
    requestServers();
}

void GuiController::requestServers() {
    servers_.clear();
    servers_.setResult(MasterserverResult::ResultNone);
    retrieving_ = true;
    startPulse();
    Q_EMIT getServerlist();
}

void GuiController::openJoin() {
    addressSnapshot_ = address_;
    push(GuiState::JoinMenu);
}

void GuiController::openHighscores(int page) {
    highscoreModel_.load(highscoreFile_.read());
    highscoreModel_.setPage(page);
    push(GuiState::HighscoreMenu);
}

void GuiController::openOptions() {
    optionsSnapshot_ = options_;
    push(GuiState::OptionsMenu);
}

void GuiController::activateHost(int entry, Action action) {
    const bool enter = action == Action::Enter;
    Hosting& h = hosting_;
    const int minimum = splitscreenScreens() ? 2 : 1;
    switch (entry) {
        case 0:
            if (enter) {
                startEdit(&h.name, 18, true, false, GuiState::EditServerName);
            }
            break;
        case 1:
            h.ranked = !h.ranked;
            break;
        case 2:
            h.usePassword = !h.usePassword;
            break;
        case 3:
            if (enter && h.usePassword) {
                startEdit(&h.password, 12, true, false, GuiState::EditHostPassword);
            }
            break;
        case 4:
            if (enter || action == Action::Right) {
                h.maxPlayers = h.maxPlayers >= 4 ? minimum : h.maxPlayers + 1;
            } else {
                h.maxPlayers = h.maxPlayers <= minimum ? 4 : h.maxPlayers - 1;
            }
            break;
        case 5:
            if (enter) {
                startEdit(&h.port, 5, false, true, GuiState::EditPort);
            }
            break;
        case 6:
            if (enter) {
                push(GuiState::Notice);
                Q_EMIT menuMainHost(h.name, h.port.toInt(), h.maxPlayers, false,
                                    splitscreenScreens(), h.ranked, h.usePassword,
                                    passwordWithMarker(h.password));
            }
            break;
        case 7:
            if (enter) {
                hosting_ = hostingSnapshot_;
                pop();
            }
            break;
        default:
            break;
    }
}

bool GuiController::connectBackPair(int entry, Action action) {
    if (action == Action::Left || action == Action::Right) {
        if (entry == 1 || entry == 2) {
            currentEntry_ = 3 - entry;
        }
        return true;
    }
    return action != Action::Enter;
}

void GuiController::activateJoin(int entry, Action action) {
    if (connectBackPair(entry, action)) {
        return;
    }
    switch (entry) {
        case 0:
            if (address_ == kEmptyAddress) {
                address_.clear();
            }
            startEdit(&address_, 21, false, false, GuiState::EditAddress);
            break;
        case 1:
            push(GuiState::Notice);
            Q_EMIT menuMainJoin(splitscreenScreens(), address_, true, QString());
            break;
        case 2:
            address_ = addressSnapshot_;
            pop();
            break;
        default:
            break;
    }
}

void GuiController::activatePassword(int entry, Action action) {
    if (connectBackPair(entry, action)) {
        return;
    }
    switch (entry) {
        case 0:
            startEdit(&joinPassword_, 12, true, false, GuiState::EditJoinPassword);
            break;
        case 1:
            push(GuiState::Notice);
            Q_EMIT menuMainJoin(splitscreenScreens(), kUseOldAddress, true,
                                passwordWithMarker(joinPassword_));
            joinPassword_.clear();
            break;
        case 2:
            joinPassword_.clear();
            stack_.setNextGuiState(false);
            break;
        default:
            break;
    }
}

void GuiController::activateGameMenu(int entry) {
    switch (entry) {
        case 0:
            stopPulse();
            pop();
            Q_EMIT setMenuOpen(false);
            break;
        case 1:
            if (host_ && stack_.base() == GuiState::Game) {
                pop();
                Q_EMIT menuGameRestart();
            }
            break;
        case 2:
            pop();
            Q_EMIT menuGameDisconnect();
            break;
        case 3: {
            // Between games nobody plays: the players listed make the page.
            const int playing = players_.playingCount();
            openHighscores(std::max(1, playing > 0 ? playing : int(players_.players().size())));
            break;
        }
        case 4:
            openOptions();
            break;
        case 5:
            pop();
            Q_EMIT menuGameClose();
            break;
        default:
            break;
    }
}

void GuiController::activateHighscores(int entry, Action action) {
    if (action == Action::Left || action == Action::Right) {
        highscoreModel_.step(action == Action::Right);
    } else if (action == Action::Enter) {
        if (entry == 0) {
            pop();
        } else if (entry == 1 || entry == 2) {
            highscoreModel_.step(entry == 2);
        }
    }
}

void GuiController::activateOptions(int entry, Action action) {
    const bool enter = action == Action::Enter;
    const bool forward = enter || action == Action::Right;
    Options& o = options_;
    if (entry == 11 || entry == 12) {
        if (!enter) {
            if (action != Action::Back) {
                currentEntry_ = 23 - entry;
            }
        } else if (entry == 11) {
            saveOptions();
        } else {
            restoreOptions();
        }
        return;
    }
    switch (entry) {
        case 0:
            if (enter) {
                startEdit(&o.name1, 12, false, false, GuiState::EditPlayerName1);
            }
            break;
        case 1:
            if (enter) {
                startEdit(&o.name2, 12, false, false, GuiState::EditPlayerName2);
            }
            break;
        case 2:
            o.invertControls = !o.invertControls;
            break;
        case 3:
            o.showPreview = (o.showPreview + (forward ? 1 : 2)) % 3;
            break;
        case 4:
            o.showPointers = !o.showPointers;
            break;
        case 5:
            o.ignoreColors = !o.ignoreColors;
            break;
        case 6: {
            const QString next = resolutions_.step(o.resolution, forward);
            if (!next.isEmpty()) {
                o.resolution = next;
            }
            break;
        }
        case 7:
            o.quality = (o.quality + (forward ? 1 : 2)) % 3;
            Q_EMIT qualityChanged(o.quality);
            break;
        case 8:
            o.enableVSync = !o.enableVSync;
            Q_EMIT vsyncChanged(o.enableVSync);
            break;
        case 9:
            o.playSounds = !o.playSounds;
            break;
        case 10:
            if (stack_.base() == GuiState::MainMenu) {
                o.rankedLocal = !o.rankedLocal;
            }
            break;
        default:
            break;
    }
}

void GuiController::saveOptions() {
    const Options& o = options_;
    pop();
    // The new resolution is part of what is saved, so it is taken first.
    const bool newResolution = o.resolution != optionsSnapshot_.resolution;
    if (newResolution) {
        const DisplayMode m = resolutions_.mode(o.resolution);
        const QStringList parts = o.resolution.split(QLatin1Char('x'));
        resWidth_ = uint(m.width > 0 ? m.width : parts.value(0).toInt());
        resHeight_ = uint(m.height > 0 ? m.height : parts.value(1).toInt());
    }
    Q_EMIT setOptions(o.name1, o.name2, o.invertControls, o.showPreview, o.showPointers, o.showFPS,
                      o.ignoreColors, resWidth_, resHeight_, o.quality, o.enableVSync, o.playSounds,
                      o.rankedLocal, o.showIntro);
    if (newResolution) {
        Q_EMIT setResolution(resWidth_, resHeight_);
    }
}

void GuiController::restoreOptions() {
    options_ = optionsSnapshot_;
    Q_EMIT qualityChanged(options_.quality);
    Q_EMIT vsyncChanged(options_.enableVSync);
    pop();
}

void GuiController::activateServerList(int entry, Action action) {
    const bool enter = action == Action::Enter;
    if (entry >= ServerListModel::FilterRanked && entry <= ServerListModel::FilterPlayers) {
        const MasterserverResult r = servers_.result();
        if ((enter || action == Action::Back) && r != MasterserverResult::ResultNone &&
            r != MasterserverResult::MasterUnreachable) {
            servers_.stepFilter(entry, enter);
            clampServerEntry();
            Q_EMIT setLastFilter(ServerListModel::mask(servers_.filters()));
        }
        return;
    }
    if (!enter) {
        return;
    }
    switch (entry) {
        case ServerListModel::Update:
            requestServers();
            return;
        case ServerListModel::Back:
            pop();
            return;
        case ServerListModel::PreviousPage:
        case ServerListModel::NextPage:
            servers_.setPage(servers_.page() + (entry == ServerListModel::NextPage ? 1 : -1));
            clampServerEntry();
            return;
        default:
            break;
    }
    if (entry >= ServerListModel::FirstHeader && entry <= ServerListModel::LastHeader) {
        servers_.sortBy(entry - ServerListModel::FirstHeader);
        return;
    }
    const QList<const ServerData*> joinable = servers_.joinable();
    const int row = entry - ServerListModel::FirstServer;
    if (row >= 0 && row < joinable.size()) {
        const ServerData* s = joinable[row];
        push(GuiState::Notice);
        Q_EMIT menuMainJoin(splitscreenScreens(),
                            s->address() + QLatin1Char(':') + QString::number(s->port()), false,
                            QString());
    }
}
