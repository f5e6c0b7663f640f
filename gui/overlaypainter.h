#pragma once

#include "client/guistate.h"
#include "gui/overlaykit.h"

// Paints the 2D layer of the game's screens on any QPainter, each screen by
// its own painter: the intro or credits, the HUD and lobby, the menus, the
// server list and the highscores, and the notice overlay. It fills the menus'
// hit map for the mouse as it goes.
class OverlayPainter : public OverlayKit {
public:
    using OverlayKit::OverlayKit;

    void paint(QPainter& p);

private:
    void paintIntroLayer(QPainter& p);
    void paintLayer(QPainter& p);
    void paintMenu(QPainter& p, GuiState state);
};
