#pragma once

#include <QCoreApplication>
#include <QString>

#include "client/clientsettings.h"
#include "gui/menuentry.h"

class FieldEditor;
class GuiSession;

// The host screen: the values of a game to host (name, ranked, password,
// players, port, the router, public or invite only, the computer players),
// its entries, and what activating one changes. The values stay between
// visits; Back undoes the changes of one visit. Its texts are the menus'.
class HostMenu {
    Q_DECLARE_TR_FUNCTIONS(MenuModel)

public:
    // What an activated entry leaves to the menus.
    enum class Outcome { None, Host, Back };

    HostMenu(const ClientSettings::Hosting& saved, GuiSession& session, FieldEditor& editor);

    const ClientSettings::Hosting& hosting() const { return hosting_; }
    // The port as typed.
    const QString& port() const { return port_; }

    // The screen is opened: its values are kept for Back, and the game has
    // at least a place for each own player.
    void open();
    MenuScreen screen() const;
    // enter: Enter or a click; forward: values step up (Enter, Right).
    Outcome activate(int entry, bool enter, bool forward);
    // The game the Host entry asks for, with the password as typed.
    HostRequest request() const;

private:
    void restore();
    // Places a hosted game has beside the host's own players, and the
    // computers chosen as far as they fit.
    int seatsForComputers() const;
    int computers() const;
    QString skillText(ComputerSkill skill) const;

    GuiSession& session_;
    FieldEditor& editor_;
    ClientSettings::Hosting hosting_;
    ClientSettings::Hosting hostingSnapshot_;
    QString port_;
    QString portSnapshot_;
};
