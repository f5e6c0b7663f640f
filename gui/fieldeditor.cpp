#include "gui/fieldeditor.h"

#include "gui/guisession.h"

FieldEditor::FieldEditor(GuiSession& session, QObject* parent)
    : QObject(parent), session_(session) {
    connect(&session_, &GuiSession::stateApplied, this, &FieldEditor::followStack);
}

void FieldEditor::start(QString* target, int maxLength, bool spaces, bool digitsOnly,
                        GuiState state) {
    session_.startPulse();
    field_.begin(target, maxLength, spaces, digitsOnly);
    state_ = state;
    session_.stack().push(state, false);
}

void FieldEditor::finish() {
    field_.end();
    session_.stack().setNextGuiState(false);
    if (session_.stack().base() != GuiState::Game) {
        session_.stopPulse();
    }
}

void FieldEditor::followStack() {
    if (field_.editing() && !session_.stack().states().contains(state_)) {
        field_.end();
        if (session_.stack().base() != GuiState::Game) {
            session_.stopPulse();
        }
    }
}
