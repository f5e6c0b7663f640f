#include "gui/hostmenu.h"

#include <algorithm>

#include "gui/fieldeditor.h"
#include "gui/guisession.h"

namespace {

// Steps a value through first..last, wrapping at both ends.
int stepWrapped(int value, bool forward, int first, int last) {
    if (forward) {
        return value >= last ? first : value + 1;
    }
    return value <= first ? last : value - 1;
}

}  // namespace

HostMenu::HostMenu(const ClientSettings::Hosting& saved, GuiSession& session, FieldEditor& editor)
    : session_(session), editor_(editor), hosting_(saved), port_(QString::number(saved.port)) {}

void HostMenu::open() {
    hostingSnapshot_ = hosting_;
    portSnapshot_ = port_;
    hosting_.maxPlayers = std::max(hosting_.maxPlayers, session_.splitscreenScreens() ? 2 : 1);
}

void HostMenu::restore() {
    hosting_ = hostingSnapshot_;
    port_ = portSnapshot_;
}

int HostMenu::seatsForComputers() const {
    return std::max(0, hosting_.maxPlayers - (session_.splitscreenScreens() ? 2 : 1));
}

int HostMenu::computers() const {
    return std::clamp(hosting_.computers, 0, seatsForComputers());
}

HostRequest HostMenu::request() const {
    HostRequest r{.hosting = hosting_, .splitscreen = session_.splitscreenScreens()};
    r.hosting.port = port_.toInt();
    r.hosting.computers = computers();
    return r;
}

HostMenu::Outcome HostMenu::activate(int entry, bool enter, bool forward) {
    ClientSettings::Hosting& h = hosting_;
    const int minimum = session_.splitscreenScreens() ? 2 : 1;
    const bool computersAllowed = seatsForComputers() > 0;
    switch (entry) {
        case 0:
            if (enter) {
                editor_.start(&h.name, 18, true, false, GuiState::EditServerName);
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
                editor_.start(&h.password, 12, true, false, GuiState::EditHostPassword);
            }
            break;
        case 4:
            h.maxPlayers = stepWrapped(h.maxPlayers, forward, minimum, 4);
            break;
        case 5:
            if (enter) {
                editor_.start(&port_, 5, false, true, GuiState::EditPort);
            }
            break;
        case 6:
            h.openPort = !h.openPort;
            break;
        case 7:
            h.listed = !h.listed;
            break;
        case 8:
            if (computersAllowed) {
                h.computers = stepWrapped(computers(), forward, 0, seatsForComputers());
            }
            break;
        case 9:
            if (computersAllowed) {
                const int skill = stepWrapped(int(h.computerSkill), forward,
                                              int(ComputerSkill::Easy), int(ComputerSkill::Hard));
                h.computerSkill = ComputerSkill(skill);
            }
            break;
        case 10:
            if (computersAllowed) {
                h.computerTakeover = !h.computerTakeover;
            }
            break;
        case 11:
            return enter ? Outcome::Host : Outcome::None;
        case 12:
            if (enter) {
                restore();
                return Outcome::Back;
            }
            break;
        default:
            break;
    }
    return Outcome::None;
}

MenuScreen HostMenu::screen() const {
    using E = MenuEntries;
    MenuScreen s;
    s.title = session_.splitscreenScreens() ? tr("Splitscreen (host)") : tr("Multiplayer (host)");
    const ClientSettings::Hosting& h = hosting_;
    s.entries = {
        E::field(0, tr("Name"), h.name, GuiState::EditServerName,
                 QStringLiteral("WWWWWWWWWWWWWWWWWW")),
        E::entry(1, tr("Ranked"), E::yesNo(h.ranked)),
        E::entry(2, tr("Use password"), E::yesNo(h.usePassword)),
        E::field(3, tr("Password"), h.password, GuiState::EditHostPassword,
                 QStringLiteral("WWWWWWWWWWWW"), h.usePassword),
        E::entry(4, tr("Max. players"), QString::number(h.maxPlayers)),
        E::field(5, tr("Port"), port_, GuiState::EditPort, QStringLiteral("00000")),
        E::entry(6, tr("Open port on router"), E::yesNo(h.openPort)),
        // Either way the game gets an invite code from the master server.
        E::entry(7, tr("Visibility"), h.listed ? tr("Public") : tr("Invite only")),
        // Without a free place no computer can sit nor take anyone's over.
        E::entry(8, tr("Computer players"), QString::number(computers()), seatsForComputers() > 0),
        E::entry(9, tr("Computer skill"), skillText(h.computerSkill), seatsForComputers() > 0),
        E::entry(10, tr("Take over for players who leave"), E::yesNo(h.computerTakeover),
                 seatsForComputers() > 0),
        E::entry(11, tr("Host")),
        E::entry(12, tr("Back")),
    };
    return s;
}

QString HostMenu::skillText(ComputerSkill skill) const {
    switch (skill) {
        case ComputerSkill::Easy:
            return tr("Easy");
        case ComputerSkill::Hard:
            return tr("Hard");
        default:
            return tr("Normal");
    }
}
