#include "gui/menuentry.h"

MenuEntry MenuEntries::entry(int index, const QString& text, const QString& value, bool enabled) {
    MenuEntry e;
    e.index = index;
    e.text = text;
    e.value = value;
    e.enabled = enabled;
    return e;
}

MenuEntry MenuEntries::field(int index, const QString& text, const QString& value, GuiState state,
                             const QString& placeholder, bool enabled) {
    MenuEntry e = entry(index, text, value, enabled);
    e.editState = state;
    e.placeholder = placeholder;
    return e;
}

QString MenuEntries::yesNo(bool value) {
    return value ? tr("Yes") : tr("No");
}
