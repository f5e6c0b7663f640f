#pragma once

#include <QObject>
#include <QString>

#include "client/guistate.h"
#include "gui/textfield.h"

class GuiSession;

// The one text field being edited, a menu's or the chat line: starting an
// edit pushes its state and starts the caret's pulse, finishing pops it. An
// edit whose state left the stack some other way (an error that ends the
// game) ends with it.
class FieldEditor : public QObject {
    Q_OBJECT

public:
    explicit FieldEditor(GuiSession& session, QObject* parent = nullptr);

    const TextField& field() const { return field_; }
    TextField& field() { return field_; }

    void start(QString* target, int maxLength, bool spaces, bool digitsOnly, GuiState state);
    void finish();

private:
    void followStack();

    GuiSession& session_;
    TextField field_;
    GuiState state_ = GuiState::NoState;
};
