#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

#include "client/guistate.h"

// One entry of a menu screen as it is drawn and chosen.
struct MenuEntry {
    int index = 0;
    QString text;
    QString value;  // shown after ": " when not empty
    bool enabled = true;
    GuiState editState = GuiState::NoState;  // a text field, edited in this state
    QString placeholder;                     // the field's width
    bool masked = false;                     // drawn as one '*' per character
};

struct MenuScreen {
    QString title;
    QString text;  // a line under the title
    QList<MenuEntry> entries;
};

// Builds the entries of the menu screens; its texts are the menus'.
class MenuEntries {
    Q_DECLARE_TR_FUNCTIONS(MenuModel)

public:
    static MenuEntry entry(int index, const QString& text, const QString& value = QString(),
                           bool enabled = true);
    // A text field, edited in state; placeholder gives its width.
    static MenuEntry field(int index, const QString& text, const QString& value, GuiState state,
                           const QString& placeholder, bool enabled = true);
    static QString yesNo(bool value);
};
