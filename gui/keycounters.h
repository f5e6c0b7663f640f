#pragma once

#include <QList>
#include <QObject>
#include <array>
#include <memory>

#include "game/keyinput.h"
#include "game/keyslot.h"
#include "gui/guitimers.h"

// The ten cumulative key counters sent to the server: 0 to 4 are the first
// local player's rotate, down, right, left and drop, 5 to 9 the second's. A
// held key repeats through its own timer, never through the keyboard's.
class KeyCounters : public QObject {
    Q_OBJECT

public:
    static constexpr int kKeys = 2 * kKeySlots;
    static constexpr int kFirstRepeatMs = 160;
    static constexpr int kRotateRepeatMs = 160;
    static constexpr int kRepeatMs = 80;

    explicit KeyCounters(TimerSource& timers, QObject* parent = nullptr);
    ~KeyCounters() override;

    // The counter a Qt key drives, or -1. Single screen: W/Up, S/Down, D/Right,
    // A/Left, Space/Shift all for the first player; splitscreen: the letters
    // and Space for the first, the arrows and Shift for the second.
    static int indexFor(int key, bool splitscreen, bool invertControls);
    static bool isDrop(int index) { return slotOf(index) == KeySlot::Drop; }

    void press(int index);
    void release(int index);
    void repeatKey(int index);
    // Counters and held keys back to zero (a new game).
    void reset();
    // Held keys are let go without counting (entering the lobby).
    void releaseAll();

    const QList<int>& counters() const { return counters_; }
    bool held(int index) const { return held_[index]; }

Q_SIGNALS:
    void changedInput(KeyInput input);

private:
    QList<int> counters_ = QList<int>(kKeys, 0);
    std::array<bool, kKeys> held_{};
    std::array<std::unique_ptr<GuiTimer>, kKeys> repeat_;
};
