#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <optional>

#include "display/displayguard.h"
#include "display/displaymode.h"

// The mode switching the main window does for full screen: switch to the mode
// of a size at 32 bits per pixel and the current refresh rate, and put the
// monitor back into the mode it had before the first switch. Whatever this
// switched is undone when it is destroyed, and by a guard process if this
// program dies without destroying it.
class DisplayModeSwitcher {
public:
    // An empty guard program means the installed one (see DisplayGuard).
    explicit DisplayModeSwitcher(std::unique_ptr<DisplayModeBackend> backend,
                                 const QString& guardProgram = {});
    ~DisplayModeSwitcher();
    DisplayModeSwitcher(const DisplayModeSwitcher&) = delete;
    DisplayModeSwitcher& operator=(const DisplayModeSwitcher&) = delete;

    QList<DisplayMode> modes() const { return backend_->modes(); }
    DisplayMode currentMode() const { return backend_->currentMode(); }

    // False, and the monitor keeps its mode, when no mode matches or the
    // system refused.
    bool changeDisplayMode(int width, int height);
    // Back to the mode from before the first switch; nothing when this has
    // switched nothing.
    void restoreDisplayMode();
    bool isSwitched() const { return original_.has_value(); }

private:
    std::unique_ptr<DisplayModeBackend> backend_;
    std::optional<DisplayMode> original_;
    DisplayGuard guard_;
};
