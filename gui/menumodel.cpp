// What each menu entry does, and the values it changes.
#include "gui/menumodel.h"

#include <algorithm>

#include "game/appinfo.h"
#include "gui/fieldeditor.h"
#include "gui/guisession.h"
#include "network/endpoint.h"

namespace {

const QString kUseOldAddress = QStringLiteral("USEOLDONE");
const QString kEmptyAddress = QStringLiteral("...");
// A host name with its port ("game.example.org:27403"), not only an address.
constexpr int kMaxAddressLength = 64;

QString passwordWithMarker(const QString& password) {
    return QLatin1Char(Quadrell::kPasswordMarker) + password;
}

}  // namespace

MenuModel::MenuModel(const ClientSettings& settings, const HighscoreFile& highscores,
                     QSize fullscreen, GuiSession& session, FieldEditor& editor, QObject* parent)
    : QObject(parent),
      session_(session),
      editor_(editor),
      highscoreFile_(highscores),
      options_(settings.options),
      host_(settings.hosting, session, editor),
      address_(settings.cache.ip) {
    // Saved as 0 by 0: the screen's own size, which also stays saved until
    // another resolution is chosen.
    options_.resWidth = std::max(options_.resWidth, 0);
    options_.resHeight = std::max(options_.resHeight, 0);
    resolution_ = options_.resWidth > 0 && options_.resHeight > 0
                      ? ResolutionList::key(options_.resWidth, options_.resHeight)
                      : ResolutionList::key(fullscreen.width(), fullscreen.height());
    session_.servers().setFilters(ServerListModel::fromMask(settings.cache.filter));
    connect(&session_, &GuiSession::stateApplied, this, &MenuModel::applied);
    connect(&session_, &GuiSession::playersChanged, this, &MenuModel::clampKickEntry);
    connect(&session_, &GuiSession::serversChanged, this, &MenuModel::clampServerEntry);
}

MenuModel::~MenuModel() = default;

void MenuModel::applied(GuiState state, bool reset) {
    if (reset) {
        currentEntry_ = state == GuiState::ServerList ? int(ServerListModel::FirstHeader) : 0;
    }
    hitMap_.clear();
}

void MenuModel::clampKickEntry() {
    if (session_.kickingPossible()) {
        const int count = int(session_.kickList().size());
        currentEntry_ = std::clamp(currentEntry_, 0, std::max(0, count - 1));
        hitMap_.clear();
    }
}

void MenuModel::clampServerEntry() {
    if (session_.stack().top() == GuiState::ServerList) {
        currentEntry_ = std::min(currentEntry_, session_.servers().lastEntry());
        hitMap_.clear();
    }
}

void MenuModel::push(GuiState state) {
    session_.stack().push(state, true);
}

void MenuModel::pop() {
    session_.stack().setNextGuiState(true);
}

void MenuModel::stepEntry(bool down) {
    const QList<MenuEntry> entries = menu(session_.stack().top()).entries;
    const int count = int(entries.size());
    if (count == 0) {
        return;
    }
    int position = 0;
    for (int i = 0; i < count; ++i) {
        if (entries[i].index == currentEntry_) {
            position = i;
        }
    }
    for (int step = 0; step < count; ++step) {
        position = (position + (down ? 1 : count - 1)) % count;
        if (entries[position].enabled) {
            currentEntry_ = entries[position].index;
            return;
        }
    }
}

void MenuModel::stepColour(int local, bool up) {
    const PlayerTable::Player* p =
        session_.players().player(PlayerTable::playerId(session_.ownConnId(), local));
    if (p == nullptr || p->status != GamePlayer::Waiting) {
        return;
    }
    int& colour = local == 0 ? options_.color1 : options_.color2;
    colour = up ? (colour >= 5 ? -1 : colour + 1) : (colour <= -1 ? 5 : colour - 1);
    Q_EMIT setColors(options_.color1, options_.color2);
}

// ---------------------------------------------------------------------------
// Activation

void MenuModel::activate(int entry, Action action) {
    switch (session_.stack().top()) {
        case GuiState::MainMenu:
            if (action == Action::Enter || action == Action::Back) {
                activateMain(entry);
            }
            break;
        case GuiState::MultiplayerMenu:
            if (action == Action::Enter || action == Action::Back) {
                activateSubmenu(entry, {&MenuModel::openHost, &MenuModel::openServerList,
                                        &MenuModel::openJoin, &MenuModel::pop});
            }
            break;
        case GuiState::SplitscreenMenu:
            if (action == Action::Enter || action == Action::Back) {
                activateSubmenu(
                    entry, {&MenuModel::hostSplitscreen, &MenuModel::openHost,
                            &MenuModel::openServerList, &MenuModel::openJoin, &MenuModel::pop});
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
            if (action == Action::Enter || action == Action::Back) {
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

void MenuModel::activateSubmenu(int entry, const QList<void (MenuModel::*)()>& actions) {
    if (entry >= 0 && entry < actions.size()) {
        (this->*actions[entry])();
    }
}

void MenuModel::escape() {
    switch (session_.stack().top()) {
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

void MenuModel::activateMain(int entry) {
    switch (entry) {
        case 0:
            hostLocal();
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
            session_.showCredits();
            break;
        default:
            break;
    }
}

void MenuModel::hostLocal() {
    hostOnThisComputer(false);
}

void MenuModel::hostSplitscreen() {
    hostOnThisComputer(true);
}

void MenuModel::hostOnThisComputer(bool splitscreen) {
    push(GuiState::Notice);
    // A local game has no name and no password of its own. Its server admits
    // only this program's client, so every place it has is for the computer
    // players the lobby adds; they play as the host screen says.
    HostRequest r{.hosting = {.name = QString(),
                              .ranked = options_.enableStatsSP,
                              .usePassword = true,
                              .password = QString(),
                              .maxPlayers = 4,
                              .port = host_.port().toInt(),
                              .openPort = false,
                              .listed = false,
                              .computers = 0,
                              .computerSkill = host_.hosting().computerSkill,
                              .computerTakeover = host_.hosting().computerTakeover},
                  .singleplayer = true,
                  .splitscreen = splitscreen};
    Q_EMIT menuMainHost(r);
}

void MenuModel::openHost() {
    host_.open();
    push(GuiState::HostMenu);
}

void MenuModel::openServerList() {
    push(GuiState::ServerList);
    requestServers();
}

void MenuModel::requestServers() {
    ServerListModel& servers = session_.servers();
    servers.clear();
    servers.setResult(MasterserverResult::ResultNone);
    session_.setRetrieving(true);
    Q_EMIT getServerlist();
}

void MenuModel::openJoin() {
    addressSnapshot_ = address_;
    push(GuiState::JoinMenu);
}

void MenuModel::joinDirect(const QString& address) {
    session_.showMainMenu();
    push(GuiState::MultiplayerMenu);
    openJoin();
    address_ = address;
    currentEntry_ = 1;
    activateJoin(currentEntry_, Action::Enter);
}

void MenuModel::openHighscores(int page) {
    session_.highscores().load(highscoreFile_.read());
    session_.highscores().setPage(page);
    push(GuiState::HighscoreMenu);
}

void MenuModel::openOptions() {
    optionsSnapshot_ = options_;
    resolutionSnapshot_ = resolution_;
    push(GuiState::OptionsMenu);
}

void MenuModel::openGameMenu() {
    Q_EMIT setMenuOpen(true);
    session_.startPulse();
    push(GuiState::GameMenu);
}

void MenuModel::activateHost(int entry, Action action) {
    const bool enter = action == Action::Enter || action == Action::Back;
    const bool forward = action == Action::Enter || action == Action::Right;
    switch (host_.activate(entry, enter, forward)) {
        case HostMenu::Outcome::None:
            break;
        case HostMenu::Outcome::Host: {
            push(GuiState::Notice);
            HostRequest r = host_.request();
            r.hosting.password = passwordWithMarker(r.hosting.password);
            Q_EMIT menuMainHost(r);
            break;
        }
        case HostMenu::Outcome::Back:
            pop();
            break;
    }
}

bool MenuModel::connectBackPair(int entry, Action action) {
    if (action == Action::Left || action == Action::Right) {
        if (entry == 1 || entry == 2) {
            currentEntry_ = 3 - entry;
        }
        return true;
    }
    return false;
}

void MenuModel::activateJoin(int entry, Action action) {
    if (connectBackPair(entry, action)) {
        return;
    }
    switch (entry) {
        case 0:
            if (address_ == kEmptyAddress) {
                address_.clear();
            }
            editor_.start(&address_, kMaxAddressLength, false, false, GuiState::EditAddress);
            break;
        case 1:
            push(GuiState::Notice);
            Q_EMIT menuMainJoin(session_.splitscreenScreens(), address_, true, QString());
            break;
        case 2:
            address_ = addressSnapshot_;
            pop();
            break;
        default:
            break;
    }
}

void MenuModel::activatePassword(int entry, Action action) {
    if (connectBackPair(entry, action)) {
        return;
    }
    switch (entry) {
        case 0:
            editor_.start(&joinPassword_, 12, true, false, GuiState::EditJoinPassword);
            break;
        case 1:
            push(GuiState::Notice);
            Q_EMIT menuMainJoin(session_.splitscreenScreens(), kUseOldAddress, true,
                                passwordWithMarker(joinPassword_));
            joinPassword_.clear();
            break;
        case 2:
            joinPassword_.clear();
            session_.stack().setNextGuiState(false);
            break;
        default:
            break;
    }
}

void MenuModel::activateGameMenu(int entry) {
    const PlayerTable& players = session_.players();
    switch (entry) {
        case 0:
            session_.stopPulse();
            pop();
            Q_EMIT setMenuOpen(false);
            break;
        case 1:
            if (session_.host() && session_.stack().base() == GuiState::Game) {
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
            const int playing = players.playingCount();
            openHighscores(std::max(1, playing > 0 ? playing : int(players.players().size())));
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

void MenuModel::activateHighscores(int entry, Action action) {
    HighscoreModel& highscores = session_.highscores();
    if (action == Action::Left || action == Action::Right) {
        highscores.step(action == Action::Right);
    } else if (entry == 0) {
        pop();
    } else if (entry == 1 || entry == 2) {
        highscores.step(entry == 2);
    }
}

void MenuModel::activateOptions(int entry, Action action) {
    const bool enter = action == Action::Enter;
    const bool forward = enter || action == Action::Right;
    ClientSettings::Options& o = options_;
    if (entry == kOptionsSave || entry == kOptionsBack) {
        if (action == Action::Left || action == Action::Right) {
            currentEntry_ = kOptionsSave + kOptionsBack - entry;
        } else if (entry == kOptionsSave) {
            saveOptions();
        } else {
            restoreOptions();
        }
        return;
    }
    switch (entry) {
        case 0:
            if (enter || action == Action::Back) {
                editor_.start(&o.name1, 12, false, false, GuiState::EditPlayerName1);
            }
            break;
        case 1:
            if (enter || action == Action::Back) {
                editor_.start(&o.name2, 12, false, false, GuiState::EditPlayerName2);
            }
            break;
        case 2:
            o.invertControl = !o.invertControl;
            break;
        case 3:
            o.showPreview = (o.showPreview + (forward ? 1 : 2)) % 3;
            break;
        case 4:
            o.showPointer = !o.showPointer;
            break;
        case 5:
            o.ignoreColors = !o.ignoreColors;
            break;
        case 6: {
            const QString next = resolutions_.step(resolution_, forward);
            if (!next.isEmpty()) {
                resolution_ = next;
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
            if (session_.stack().base() == GuiState::MainMenu) {
                o.enableStatsSP = !o.enableStatsSP;
            }
            break;
        case kPredictMoves:
            o.predictMoves = !o.predictMoves;
            break;
        case kOptionsMeasure:
            if (enter && session_.stack().base() == GuiState::MainMenu) {
                Q_EMIT measureQuality();
            }
            break;
        default:
            break;
    }
}

void MenuModel::saveOptions() {
    pop();
    // The new resolution is part of what is saved, so it is taken first.
    const bool newResolution = resolution_ != resolutionSnapshot_;
    if (newResolution) {
        const DisplayMode m = resolutions_.mode(resolution_);
        const QStringList parts = resolution_.split(QLatin1Char('x'));
        options_.resWidth = m.width > 0 ? m.width : parts.value(0).toInt();
        options_.resHeight = m.height > 0 ? m.height : parts.value(1).toInt();
    }
    Q_EMIT setOptions(options_);
    if (newResolution) {
        Q_EMIT setResolution(uint(options_.resWidth), uint(options_.resHeight));
    }
}

void MenuModel::takeMeasuredQuality(int quality) {
    options_.quality = quality;
    Q_EMIT qualityChanged(quality);
    // On the options screen it is one more edited value, kept by Save and
    // undone by Back; elsewhere the options are the saved ones.
    if (session_.stack().top() != GuiState::OptionsMenu) {
        Q_EMIT setOptions(options_);
    }
}

void MenuModel::restoreOptions() {
    options_ = optionsSnapshot_;
    resolution_ = resolutionSnapshot_;
    Q_EMIT qualityChanged(options_.quality);
    Q_EMIT vsyncChanged(options_.enableVSync);
    pop();
}

void MenuModel::activateServerList(int entry, Action action) {
    ServerListModel& servers = session_.servers();
    const bool click = action == Action::Enter || action == Action::Back;
    if (entry >= ServerListModel::FilterRanked && entry <= ServerListModel::FilterPlayers) {
        const MasterserverResult r = servers.result();
        if (click && r != MasterserverResult::ResultNone &&
            r != MasterserverResult::MasterUnreachable) {
            servers.stepFilter(entry, action == Action::Enter);
            clampServerEntry();
            Q_EMIT setLastFilter(ServerListModel::mask(servers.filters()));
        }
        return;
    }
    if (!click) {
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
            servers.setPage(servers.page() + (entry == ServerListModel::NextPage ? 1 : -1));
            clampServerEntry();
            return;
        default:
            break;
    }
    if (entry >= ServerListModel::FirstHeader && entry <= ServerListModel::LastHeader) {
        servers.sortBy(entry - ServerListModel::FirstHeader);
        return;
    }
    const QList<const ServerData*> joinable = servers.joinable();
    const int row = entry - ServerListModel::FirstServer;
    if (row >= 0 && row < joinable.size()) {
        const ServerData* s = joinable[row];
        push(GuiState::Notice);
        // IPv6 in brackets, so that the port stays apart.
        Q_EMIT menuMainJoin(session_.splitscreenScreens(),
                            Endpoint{QHostAddress(s->address()), s->port()}.text(), false,
                            QString());
    }
}
