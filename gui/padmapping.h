#pragma once

#include "client/guistate.h"

// What a gamepad offers the game: four directions (d-pad and stick
// together), the four face buttons by their place (A bottom, B right, X left,
// Y top) and Start and Back.
enum class PadButton { Up, Down, Left, Right, A, B, X, Y, Start, Back };
inline constexpr int kPadButtons = 10;
// One pad per local player.
inline constexpr int kPads = 2;

// The key a pad button stands for on the screen on top, for
// the local player (0, or 1 for the splitscreen partner); 0 for none. Pads
// take the keyboard's path from here on, repeat timers included. In a game
// A and B rotate, X and Y drop, Start is Escape and Back the player-list key;
// in the lobby A is ready and Y starts; elsewhere A confirms and B goes back.
int padKey(PadButton button, int player, GuiState top);
