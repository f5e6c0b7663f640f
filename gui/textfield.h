#pragma once

#include <QString>
#include <algorithm>
#include <cstdlib>

class QKeyEvent;
class QClipboard;

// The single-line editor of the menus and the chat line. It edits its target
// string in place, so every screen shows the text as it is typed.
class TextField {
public:
    enum class Result {
        Edited,   // the key was used (or ignored as not allowed)
        Confirm,  // Enter: the caller ends the edit; an empty text is already restored
        Cancel,   // Escape: the target holds its old text again
        Ignored,  // not a key of the field
    };

    // clipboard: the application's when null.
    explicit TextField(QClipboard* clipboard = nullptr) : clipboard_(clipboard) {}

    // Cursor and anchor go to the end; the current text is kept for Escape.
    void begin(QString* target, int maxLength, bool spaces, bool digitsOnly);
    void end() { target_ = nullptr; }
    bool editing() const { return target_ != nullptr; }
    const QString* target() const { return target_; }

    Result key(const QKeyEvent& event);
    // Ends the edit as Enter does: an emptied text gets its old value back.
    void confirm();

    const QString& backup() const { return backup_; }
    int cursor() const { return cursor_; }
    int anchor() const { return anchor_; }
    int selectionStart() const { return std::min(cursor_, anchor_); }
    int selectionLength() const { return std::abs(cursor_ - anchor_); }

private:
    QClipboard* clipboard() const;
    void removeSelection();
    void type(const QString& text);
    void moveTo(int position, bool keepAnchor);

    QString* target_ = nullptr;
    QString backup_;
    int cursor_ = 0;
    int anchor_ = 0;
    int maxLength_ = 0;
    bool spaces_ = false;
    bool digitsOnly_ = false;
    QClipboard* clipboard_;
};
