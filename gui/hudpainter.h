#pragma once

#include <QCoreApplication>

#include "gui/overlaykit.h"

// What shows over the lobby and the game: score and time, frame rate, the
// rising point labels, the player list (full in the lobby and with Tab, with
// the host's kick column), chat lines, the chat input, the message box and
// the pause sign. Chat lines and point labels expire as they are drawn.
class HudPainter : public OverlayKit {
    Q_DECLARE_TR_FUNCTIONS(OverlayPainter)

public:
    using OverlayKit::OverlayKit;

    // Colour names as the lobby shows them: -1 "Auto", 0 "Red" .. 5 "Cyan".
    static QString colourName(int colour);
    static QString statusText(int status);

    void paintHud(QPainter& p);
    void paintPlayerList(QPainter& p);
    // Newest line at the bottom; lines that no longer fit go.
    void paintChat(QPainter& p, int bottom);
    // The last message and the countdown; centred, or under the player list.
    void paintMessageBox(QPainter& p, bool centred);
    // The host's line on where friends can reach the game, above the player list.
    void paintReachability(QPainter& p);
    void paintChatInput(QPainter& p, int top);
    void paintPauseSign(QPainter& p);
};
