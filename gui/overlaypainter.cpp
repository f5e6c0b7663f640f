#include "gui/overlaypainter.h"

#include <QPainter>

#include "gui/guicontroller.h"
#include "gui/guimetrics.h"
#include "gui/highscorepainter.h"
#include "gui/hudpainter.h"
#include "gui/menupainter.h"
#include "gui/serverlistpainter.h"

void OverlayPainter::paint(QPainter& p) {
    const GuiStack& stack = session_.stack();
    const GuiState base = stack.base();
    const GuiState top = stack.top();
    const bool inGame = base == GuiState::Lobby || base == GuiState::Game;
    menus_.hitMap().clear();
    HudPainter hud(gui_, m_);
    p.save();

    if (base == GuiState::Intro || base == GuiState::About) {
        paintIntroLayer(p);
    }
    if (inGame) {
        hud.paintHud(p);
        hud.paintPlayerList(p);
        if (top == GuiState::Lobby || top == GuiState::Game ||
            stack.aboveBase() == GuiState::ChatInput) {
            hud.paintMessageBox(p, base != GuiState::Lobby);
            if (base == GuiState::Lobby) {
                hud.paintReachability(p);
            }
        }
    }
    const GuiState menu = session_.menuState();
    if (menu != GuiState::NoState) {
        paintLayer(p);
        if (inGame && !stack.showingError()) {
            hud.paintPauseSign(p);
        }
        paintMenu(p, menu);
    }
    const int chatBottom = m_.height() * 3 / 4;
    if (top == GuiState::ChatInput) {
        hud.paintChatInput(p, chatBottom);
    }
    if (top == GuiState::Notice) {
        paintLayer(p);
        hud.paintMessageBox(p, true);
    } else {
        hud.paintChat(p, chatBottom);
    }
    p.restore();
}

void OverlayPainter::paintIntroLayer(QPainter& p) {
    const QSize size(m_.width(), m_.height());
    if (session_.stack().base() == GuiState::Intro) {
        session_.intro().paint(p, size);
    } else {
        session_.credits().paint(p, size);
    }
}

void OverlayPainter::paintLayer(QPainter& p) {
    p.fillRect(QRect(0, 0, m_.width(), m_.height()), OverlayColours::kLayer);
}

void OverlayPainter::paintMenu(QPainter& p, GuiState state) {
    if (state == GuiState::ServerList) {
        ServerListPainter(gui_, m_).paint(p);
    } else if (state == GuiState::HighscoreMenu) {
        HighscorePainter(gui_, m_).paint(p);
    } else {
        MenuPainter(gui_, m_).paint(p, state);
    }
}
