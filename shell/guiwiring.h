#pragma once

class Client;
class GLWidget;

// The connections between the game's GUI and its client, both ways: the
// client drives what the screens show and feeds the field copy; the menus and
// input ask the client to host, join, play and save.
void connectGuiAndClient(GLWidget& widget, Client& client);

class GamepadInput;
class GuiController;

// The pads act on the GUI as the keys they stand for; their comings and
// goings show as notices and on the options screen.
void connectGamepads(GamepadInput& pads, GuiController& gui);
