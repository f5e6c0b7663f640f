#pragma once

#include <QCoreApplication>
#include <QFont>
#include <QRect>
#include <QString>

#include "client/guistate.h"

class GuiController;
class GuiMetrics;
class QPainter;
struct MenuEntry;

// Paints the 2D layer of the game's screens on any QPainter: the HUD, the
// player list, chat, messages, menus, the server list and the highscores.
// It fills the controller's hit map for the mouse and lets chat lines and
// point labels expire as it draws them.
class OverlayPainter {
    Q_DECLARE_TR_FUNCTIONS(OverlayPainter)

public:
    OverlayPainter(GuiController& gui, const GuiMetrics& metrics);

    void paint(QPainter& p);

    // Colour names as the lobby shows them: -1 "Auto", 0 "Red" .. 5 "Cyan".
    static QString colourName(int colour);
    static QString statusText(int status);
    // The caret's opacity for a pulse counter of 0 to 100: out and in once a second.
    static double caretAlpha(int pulse);

private:
    void paintIntroLayer(QPainter& p);
    void paintHud(QPainter& p);
    void paintPlayerList(QPainter& p);
    void paintChat(QPainter& p, int bottom);
    void paintMessageBox(QPainter& p, bool centred);
    void paintChatInput(QPainter& p, int top);
    void paintLayer(QPainter& p);
    void paintPauseSign(QPainter& p);
    void paintMenu(QPainter& p, GuiState state);
    void paintMainMenuAbout(QPainter& p, const MenuEntry& about);
    void paintServerList(QPainter& p);
    void paintHighscores(QPainter& p);

    struct MenuFonts {
        QFont entry;
        QFont field;
    };
    // One menu line ("label: value", a field for text entries) at height y,
    // its colon at colonX, or centred when it has no value or colonX is -1.
    void paintEntry(QPainter& p, const MenuEntry& e, int y, const MenuFonts& fonts, int colonX);
    // A button-like entry at a rectangle, entered in the hit map.
    void paintButton(QPainter& p, const MenuEntry& e, const QRect& r, int fontRole,
                     Qt::Alignment align);
    // The text of a field being edited or shown, with caret and selection.
    void paintFieldText(QPainter& p, const QRect& r, const QString& text, bool editing, bool masked,
                        const QColor& colour);
    QColor entryColour(const MenuEntry& e, bool current) const;
    void panel(QPainter& p, const QRectF& r) const;
    int scaled(double v) const;

    GuiController& gui_;
    const GuiMetrics& m_;
};
