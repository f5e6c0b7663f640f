#include "keycounters.h"

KeyCounters::KeyCounters(TimerSource& timers, QObject* parent) : QObject(parent) {
    for (int i = 0; i < kKeys; ++i) {
        repeat_[i] = timers.makeTimer(true, [this, i] { repeatKey(i); });
    }
}

KeyCounters::~KeyCounters() = default;

int KeyCounters::indexFor(int key, bool splitscreen, bool invertControls) {
    struct Binding {
        int key;
        KeySlot slot;
        bool secondSet;  // the second player's keys in splitscreen
    };
    static constexpr Binding kBindings[] = {
        {Qt::Key_W, KeySlot::Rotate, false},   {Qt::Key_S, KeySlot::Down, false},
        {Qt::Key_D, KeySlot::Right, false},    {Qt::Key_A, KeySlot::Left, false},
        {Qt::Key_Space, KeySlot::Drop, false}, {Qt::Key_Up, KeySlot::Rotate, true},
        {Qt::Key_Down, KeySlot::Down, true},   {Qt::Key_Right, KeySlot::Right, true},
        {Qt::Key_Left, KeySlot::Left, true},   {Qt::Key_Shift, KeySlot::Drop, true},
    };
    for (const Binding& b : kBindings) {
        if (b.key != key) {
            continue;
        }
        KeySlot slot = b.slot;
        if (invertControls && (slot == KeySlot::Left || slot == KeySlot::Right)) {
            slot = slot == KeySlot::Left ? KeySlot::Right : KeySlot::Left;
        }
        return static_cast<int>(slotIndex(slot)) + (splitscreen && b.secondSet ? kKeySlots : 0);
    }
    return -1;
}

void KeyCounters::press(int index) {
    if (index < 0 || index >= kKeys) {
        return;
    }
    ++counters_[index];
    Q_EMIT changedInput(KeyInput::fromList(counters_));
    if (!isDrop(index)) {
        held_[index] = true;
        repeat_[index]->start(kFirstRepeatMs);
    }
}

void KeyCounters::release(int index) {
    if (index < 0 || index >= kKeys) {
        return;
    }
    held_[index] = false;
    repeat_[index]->stop();
}

void KeyCounters::repeatKey(int index) {
    if (index < 0 || index >= kKeys || !held_[index]) {
        return;
    }
    ++counters_[index];
    Q_EMIT changedInput(KeyInput::fromList(counters_));
    repeat_[index]->start(slotOf(index) == KeySlot::Rotate ? kRotateRepeatMs : kRepeatMs);
}

void KeyCounters::reset() {
    counters_.fill(0);
    releaseAll();
}

void KeyCounters::releaseAll() {
    for (int i = 0; i < kKeys; ++i) {
        release(i);
    }
}
