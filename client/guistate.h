#pragma once

// What the GUI shows, shared by the client (which drives it) and the GUI (which
// draws it). The values travel as plain integers between the two; keep them in
// this order.
enum class GuiState : int {
    Intro = 0,
    MainMenu = 1,
    SplitscreenMenu = 2,
    MultiplayerMenu = 3,
    HostMenu = 4,
    ServerList = 5,
    JoinMenu = 6,
    PasswordMenu = 7,
    GameMenu = 8,
    HighscoreMenu = 9,
    OptionsMenu = 10,
    EditServerName = 11,
    EditHostPassword = 12,
    EditPort = 13,
    EditAddress = 14,
    EditJoinPassword = 15,
    EditPlayerName1 = 16,
    EditPlayerName2 = 17,
    ChatInput = 18,
    Lobby = 19,
    Game = 20,
    About = 21,
    Notice = 22,
    NoState = 23,  // not a state: changes only the message of the current one
};
