#include "display/displaymodeswitcher.h"

DisplayModeSwitcher::DisplayModeSwitcher(std::unique_ptr<DisplayModeBackend> backend,
                                         const QString& guardProgram)
    : backend_(std::move(backend)), guard_(guardProgram) {}

DisplayModeSwitcher::~DisplayModeSwitcher() {
    restoreDisplayMode();
}

bool DisplayModeSwitcher::changeDisplayMode(int width, int height) {
    const DisplayMode current = backend_->currentMode();
    const DisplayMode wanted{width, height, 32, current.refreshRate};
    if (!current.isValid() || !backend_->modes().contains(wanted)) {
        return false;
    }
    if (wanted == current) {
        return true;
    }
    const bool first = !original_;
    if (first) {
        // Armed before the switch: from here on a crash cannot leave the
        // monitor in our mode. A guard that cannot start does not stop the
        // switch; every orderly end still restores.
        guard_.arm(backend_->displayName(), current);
    }
    if (!backend_->setMode(wanted)) {
        if (first) {
            guard_.disarm();
        }
        return false;
    }
    if (first) {
        original_ = current;
    }
    return true;
}

void DisplayModeSwitcher::restoreDisplayMode() {
    if (!original_) {
        return;
    }
    if (backend_->currentMode() == *original_ || backend_->setMode(*original_)) {
        original_.reset();
        guard_.disarm();
    }
}
