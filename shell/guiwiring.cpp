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

    QObject::connect(m, &MenuModel::menuMainHost, &c, &Client::hostGame);
    QObject::connect(m, &MenuModel::menuMainJoin, &c, &Client::joinGame);
    QObject::connect(m, &MenuModel::menuMainClose, &c, &Client::endProgramm);
    QObject::connect(m, &MenuModel::menuGameRestart, &c, &Client::restartGame);
    QObject::connect(m, &MenuModel::menuGameDisconnect, &c, &Client::endGame);
    QObject::connect(m, &MenuModel::menuGameClose, &c, &Client::endProgramm);
    QObject::connect(m, &MenuModel::setColors, &c, &Client::setColors);
    QObject::connect(m, &MenuModel::setOptions, &c, &Client::setOptions);
    QObject::connect(m, &MenuModel::setLastFilter, &c, &Client::setLastFilter);
    QObject::connect(m, &MenuModel::setMenuOpen, &c, &Client::setMenuOpen);
    QObject::connect(m, &MenuModel::getServerlist, &c, &Client::getServerlist);
    QObject::connect(i, &InputRouter::sendMessage, &c, &Client::sendMessage);
    QObject::connect(&i->keys(), &KeyCounters::changedInput, &c, &Client::inputKeys);
    QObject::connect(i, &InputRouter::changedReady, &c, &Client::setReady);
    QObject::connect(i, &InputRouter::changedStart, &c, &Client::setStart);
    QObject::connect(i, &InputRouter::changedKick, &c, &Client::kickPlayer);
    QObject::connect(i, &InputRouter::abortAction, &c, &Client::abortAction);
    QObject::connect(f, &SceneField::noticedPacketLoss, &c, &Client::processPacketLoss);

    QObject::connect(&c, &Client::resetGui, s, &GuiSession::resetGui);
    QObject::connect(&c, &Client::resetChat, s, &GuiSession::resetChat);
    QObject::connect(&c, &Client::changeFieldsizeX, s, &GuiSession::setFieldsizeX);
    QObject::connect(&c, &Client::changedPlayerlist, s, &GuiSession::updatePlayerlist);
    QObject::connect(&c, &Client::changedPinglist, s, &GuiSession::updatePinglist);
    QObject::connect(&c, &Client::removePlayer, s, &GuiSession::removePlayer);
    QObject::connect(&c, &Client::startPlayTime, s, &GuiSession::startPlayTime);
    QObject::connect(&c, &Client::pausePlayTime, s, &GuiSession::pausePlayTime);
    QObject::connect(&c, &Client::stopPlayTime, s, &GuiSession::stopPlayTime);
    QObject::connect(&c, &Client::setScore, s, &GuiSession::setScore);
    QObject::connect(&c, &Client::setPlaytime, s, &GuiSession::setPlaytime);
    QObject::connect(&c, &Client::resultMasterserver, s, &GuiSession::processMasterserverResult);
    QObject::connect(&c, &Client::newServer, s, &GuiSession::addServer);
    QObject::connect(&c, &Client::displayChatMessage, s, &GuiSession::displayChatMessage);

    GuiStack* stack = &s->stack();
    QObject::connect(&c, &Client::displayMessage, stack, &GuiStack::displayMessage);
    QObject::connect(&c, &Client::displayCountdown, stack, &GuiStack::setCountdown);
    QObject::connect(&c, &Client::displayError, stack, &GuiStack::displayError);
    QObject::connect(&c, &Client::setGuiBaseState, stack, &GuiStack::setBaseState);
    QObject::connect(&c, &Client::setGuiTopState, stack, &GuiStack::setTopState);
    QObject::connect(&c, &Client::setGuiLastState, stack,
                     [stack] { stack->setNextGuiState(false); });

    // The field copy: a new game empties it, and the client's blocks go to it.
    QObject::connect(&c, &Client::resetGui, f, &SceneField::reset);
    QObject::connect(&c, &Client::setRotation, f, &SceneField::setRotation);
    QObject::connect(&c, &Client::changeFieldsizeX, f, &SceneField::setFieldsizeX);
    QObject::connect(&c, &Client::createdNewBlock, f, &SceneField::processNewBlock);
    QObject::connect(&c, &Client::createdField, f, &SceneField::processNewField);
    QObject::connect(&c, &Client::moveBlocks, f, &SceneField::processMoveBlocks);
    QObject::connect(&c, &Client::mergeBlocks, f, &SceneField::processMergeBlocks);
}

void connectGamepads(GamepadInput& pads, GuiController& gui) {
    QObject::connect(&pads, &GamepadInput::button, &gui, &GuiController::padButton);
    QObject::connect(&pads, &GamepadInput::notice, &gui.session().stack(),
                     &GuiStack::displayMessage);
    QObject::connect(&pads, &GamepadInput::changedPads, &gui.session(), &GuiSession::setGamepads);
    gui.session().setGamepads(pads.names());
}
