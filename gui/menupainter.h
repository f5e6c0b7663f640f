#pragma once

#include <QCoreApplication>
#include <QFont>

#include "client/guistate.h"
#include "gui/overlaykit.h"

// The menu screens with entries in a column (all but the server list and the
// highscores): title, text, entries lined up at their colon, text fields, and
// the main menu's "About" in the corner.
class MenuPainter : public OverlayKit {
    Q_DECLARE_TR_FUNCTIONS(OverlayPainter)

public:
    using OverlayKit::OverlayKit;

    void paint(QPainter& p, GuiState state);

private:
    struct MenuFonts {
        QFont entry;
        QFont field;
    };
    struct Column {
        MenuFonts fonts;
        int step = 0;     // from one entry to the next
        int colonX = -1;  // -1: every entry centred
    };
    // Long screens fall back to the smaller font, wide ones shrink, so that
    // every entry fits.
    Column fit(const QList<MenuEntry>& entries, int available) const;
    // One menu line ("label: value", a field for text entries) at height y,
    // its colon at colonX, or centred when it has no value or colonX is -1.
    void paintEntry(QPainter& p, const MenuEntry& e, int y, const MenuFonts& fonts, int colonX);
    void paintMainMenuAbout(QPainter& p, const MenuEntry& about);
};
