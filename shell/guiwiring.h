#pragma once

class Client;
class GLWidget;

// The connections between the game's GUI and its client, both ways: the
// client drives what the screens show and feeds the field copy; the menus and
// input ask the client to host, join, play and save.
void connectGuiAndClient(GLWidget& widget, Client& client);
