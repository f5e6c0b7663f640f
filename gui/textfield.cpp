#include "textfield.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

void TextField::begin(QString* target, int maxLength, bool spaces, bool digitsOnly) {
    target_ = target;
    maxLength_ = maxLength;
    spaces_ = spaces;
    digitsOnly_ = digitsOnly;
    backup_ = *target;
    cursor_ = anchor_ = int(target->size());
}

QClipboard* TextField::clipboard() const {
    return clipboard_ != nullptr ? clipboard_ : QGuiApplication::clipboard();
}

void TextField::removeSelection() {
    if (cursor_ != anchor_) {
        const int start = selectionStart();
        target_->remove(start, selectionLength());
        cursor_ = anchor_ = start;
    }
}

void TextField::type(const QString& text) {
    for (const QChar c : text) {
        removeSelection();
        if (target_->size() >= maxLength_) {
            break;
        }
        if (!c.isPrint() || (c.isSpace() && !spaces_) || (digitsOnly_ && !c.isDigit())) {
            continue;
        }
        target_->insert(cursor_, c);
        anchor_ = ++cursor_;
    }
}

void TextField::moveTo(int position, bool keepAnchor) {
    cursor_ = position;
    if (!keepAnchor) {
        anchor_ = cursor_;
    }
}

void TextField::confirm() {
    if (target_ != nullptr && target_->isEmpty()) {
        *target_ = backup_;
    }
}

TextField::Result TextField::key(const QKeyEvent& event) {
    if (target_ == nullptr) {
        return Result::Ignored;
    }
    const bool repeat = event.isAutoRepeat();
    const bool shift = event.modifiers() & Qt::ShiftModifier;
    const bool control = event.modifiers() & Qt::ControlModifier;
    const int size = int(target_->size());
    switch (event.key()) {
        case Qt::Key_Escape:
            if (repeat) {
                return Result::Edited;
            }
            *target_ = backup_;
            return Result::Cancel;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (repeat) {
                return Result::Edited;
            }
            confirm();
            return Result::Confirm;
        case Qt::Key_Home:
            moveTo(0, shift);
            return Result::Edited;
        case Qt::Key_End:
            moveTo(size, shift);
            return Result::Edited;
        case Qt::Key_Left:
            if (cursor_ > 0) {
                moveTo(cursor_ - 1, shift);
            } else if (!shift) {
                anchor_ = cursor_;
            }
            return Result::Edited;
        case Qt::Key_Right:
            if (cursor_ < size) {
                moveTo(cursor_ + 1, shift);
            } else if (!shift) {
                anchor_ = cursor_;
            }
            return Result::Edited;
        case Qt::Key_Backspace:
            if (cursor_ != anchor_) {
                removeSelection();
            } else if (cursor_ > 0) {
                target_->remove(--cursor_, 1);
                anchor_ = cursor_;
            }
            return Result::Edited;
        case Qt::Key_Delete:
            if (cursor_ != anchor_) {
                removeSelection();
            } else if (cursor_ < size) {
                target_->remove(cursor_, 1);
            }
            return Result::Edited;
        case Qt::Key_Paste:
            if (!repeat) {
                removeSelection();
                type(clipboard()->text());
            }
            return Result::Edited;
        default:
            break;
    }
    if (control) {
        if (!repeat) {
            if (event.key() == Qt::Key_C || event.key() == Qt::Key_X) {
                clipboard()->setText(target_->mid(selectionStart(), selectionLength()));
                if (event.key() == Qt::Key_X) {
                    removeSelection();
                }
            } else if (event.key() == Qt::Key_V) {
                removeSelection();
                type(clipboard()->text());
            }
        }
        return Result::Edited;
    }
    type(event.text());
    return Result::Edited;
}
