#include "gui/padmapping.h"

#include <Qt>
#include <array>

#include "gui/guistack.h"

namespace {

// The keys one pad button stands for, by screen and player.
struct ButtonKeys {
    std::array<int, 2> game;
    std::array<int, 2> lobby;
    int menu;
    int gameMenu;
    int edit;  // typing takes the keyboard; the pad only confirms or cancels
};

// In PadButton's order. Up is nothing in a game, where a stick pushed slightly
// up must not turn the piece; the lobby takes the arrows for up and down, as
// S starts the game for the host. Start confirms in menus but opens and
// closes the game menu.
constexpr std::array<ButtonKeys, kPadButtons> kKeys{{
    {{0, 0}, {Qt::Key_Up, Qt::Key_Up}, Qt::Key_Up, Qt::Key_Up, 0},
    {{Qt::Key_S, Qt::Key_Down}, {Qt::Key_Down, Qt::Key_Down}, Qt::Key_Down, Qt::Key_Down, 0},
    {{Qt::Key_A, Qt::Key_Left}, {Qt::Key_A, Qt::Key_Left}, Qt::Key_Left, Qt::Key_Left, 0},
    {{Qt::Key_D, Qt::Key_Right}, {Qt::Key_D, Qt::Key_Right}, Qt::Key_Right, Qt::Key_Right, 0},
    {{Qt::Key_W, Qt::Key_Up},
     {Qt::Key_R, Qt::Key_R},
     Qt::Key_Return,
     Qt::Key_Return,
     Qt::Key_Return},
    {{Qt::Key_W, Qt::Key_Up},
     {Qt::Key_Escape, Qt::Key_Escape},
     Qt::Key_Escape,
     Qt::Key_Escape,
     Qt::Key_Escape},
    {{Qt::Key_Space, Qt::Key_Shift}, {0, 0}, 0, 0, 0},
    {{Qt::Key_Space, Qt::Key_Shift}, {Qt::Key_S, Qt::Key_S}, 0, 0, 0},
    {{Qt::Key_Escape, Qt::Key_Escape},
     {Qt::Key_Escape, Qt::Key_Escape},
     Qt::Key_Return,
     Qt::Key_Escape,
     0},
    {{Qt::Key_Tab, Qt::Key_Tab}, {0, 0}, 0, 0, 0},
}};

}  // namespace

int padKey(PadButton button, int player, GuiState top) {
    const ButtonKeys& keys = kKeys[std::size_t(button)];
    const std::size_t local = player == 1 ? 1 : 0;
    if (top == GuiState::Game) {
        return keys.game[local];
    }
    if (top == GuiState::Lobby) {
        return keys.lobby[local];
    }
    if (isEditState(top)) {
        return keys.edit;
    }
    return top == GuiState::GameMenu ? keys.gameMenu : keys.menu;
}
