#include "shell/guiwiring.h"

#include "client/client.h"
#include "gui/glwidget.h"
#include "shell/gamepadinput.h"

void connectGuiAndClient(GLWidget& widget, Client& c) {
    GuiController& gui = widget.controller();
    GuiSession* s = &gui.session();
    MenuModel* m = &gui.menus();
    InputRouter* i = &gui.input();
    SceneField* f = &widget.scene();
    ClientScreen* screen = &c.screen();
    ClientLobby* lobby = &c.lobby();
    ClientGame* game = &c.game();
    ServerBrowser* browser = &c.browser();

    QObject::connect(m, &MenuModel::menuMainHost, &c, &Client::hostGame);
    QObject::connect(m, &MenuModel::menuMainJoin, &c, &Client::joinGame);
    QObject::connect(m, &MenuModel::menuMainClose, &c, &Client::endProgramm);
    QObject::connect(m, &MenuModel::menuGameRestart, lobby, &ClientLobby::restartGame);
    QObject::connect(m, &MenuModel::menuGameDisconnect, &c, &Client::endGame);
    QObject::connect(m, &MenuModel::menuGameClose, &c, &Client::endProgramm);
    QObject::connect(m, &MenuModel::setColors, &c, &Client::setColors);
    QObject::connect(m, &MenuModel::setOptions, &c, &Client::setOptions);
    QObject::connect(m, &MenuModel::setLastFilter, &c, &Client::setLastFilter);
    QObject::connect(m, &MenuModel::setMenuOpen, lobby, &ClientLobby::setMenuOpen);
    QObject::connect(i, &InputRouter::sendMessage, lobby, &ClientLobby::sendMessage);
    QObject::connect(i, &InputRouter::changedReady, lobby, &ClientLobby::setReady);
    QObject::connect(i, &InputRouter::changedStart, lobby, &ClientLobby::setStart);
    QObject::connect(i, &InputRouter::changedKick, lobby, &ClientLobby::kickPlayer);
    QObject::connect(i, &InputRouter::changedAddComputer, &c, &Client::addComputer);
    QObject::connect(i, &InputRouter::abortAction, &c, &Client::abortAction);
    QObject::connect(&c, &Client::changedPlayerlist, s, &GuiSession::updatePlayerlist);
    QObject::connect(&c, &Client::changedPinglist, s, &GuiSession::updatePinglist);
    QObject::connect(&c, &Client::removePlayer, s, &GuiSession::removePlayer);

    // What the screens show: the state stack, its messages, the chat.
    GuiStack* stack = &s->stack();
    QObject::connect(screen, &ClientScreen::resetGui, s, &GuiSession::resetGui);
    QObject::connect(screen, &ClientScreen::resetChat, s, &GuiSession::resetChat);
    QObject::connect(screen, &ClientScreen::displayChatMessage, s, &GuiSession::displayChatMessage);
    QObject::connect(screen, &ClientScreen::displayReachability, s, &GuiSession::setReachability);
    QObject::connect(screen, &ClientScreen::displayInviteCode, s, &GuiSession::setInviteCode);
    QObject::connect(screen, &ClientScreen::displayCountdown, stack, &GuiStack::setCountdown);
    QObject::connect(screen, &ClientScreen::displayError, stack, &GuiStack::displayError);
    QObject::connect(screen, &ClientScreen::setGuiBaseState, stack, &GuiStack::setBaseState);
    QObject::connect(screen, &ClientScreen::setGuiTopState, stack, &GuiStack::setTopState);
    QObject::connect(screen, &ClientScreen::setGuiLastState, stack,
                     [stack] { stack->setNextGuiState(false); });

    // The server list.
    QObject::connect(m, &MenuModel::getServerlist, browser, &ServerBrowser::getServerlist);
    QObject::connect(browser, &ServerBrowser::resultMasterserver, s,
                     &GuiSession::processMasterserverResult);
    QObject::connect(browser, &ServerBrowser::newServer, s, &GuiSession::addServer);
    QObject::connect(browser, &ServerBrowser::lanRoundBegins, s, &GuiSession::beginLanRound);
    // The local networks are asked again only while the list is on screen.
    QObject::connect(stack, &GuiStack::applied, browser, [browser](GuiState state) {
        browser->setListShown(state == GuiState::ServerList);
    });

    // The game: keys out, the HUD's figures in; the scene follows the
    // client's field copy.
    QObject::connect(&i->keys(), &KeyCounters::changedInput, f, &SceneField::logPress);
    QObject::connect(&i->keys(), &KeyCounters::changedInput, &c, &Client::inputKeys);
    QObject::connect(game, &ClientGame::changeFieldsizeX, s, &GuiSession::setFieldsizeX);
    QObject::connect(game, &ClientGame::startPlayTime, s, &GuiSession::startPlayTime);
    QObject::connect(game, &ClientGame::pausePlayTime, s, &GuiSession::pausePlayTime);
    QObject::connect(game, &ClientGame::stopPlayTime, s, &GuiSession::stopPlayTime);
    QObject::connect(game, &ClientGame::setScore, s, &GuiSession::setScore);
    QObject::connect(game, &ClientGame::setPlaytime, s, &GuiSession::setPlaytime);
    QObject::connect(screen, &ClientScreen::resetGui, f, &SceneField::reset);
    QObject::connect(game, &ClientGame::setRotation, f, &SceneField::setRotation);
    QObject::connect(game, &ClientGame::changeFieldsizeX, f, &SceneField::setFieldsizeX);
}

void connectGamepads(GamepadInput& pads, GuiController& gui) {
    QObject::connect(&pads, &GamepadInput::button, &gui.input(), &InputRouter::padButton);
    QObject::connect(&pads, &GamepadInput::notice, &gui.session().stack(),
                     &GuiStack::displayMessage);
    QObject::connect(&pads, &GamepadInput::changedPads, &gui.session(), &GuiSession::setGamepads);
    gui.session().setGamepads(pads.names());
}
