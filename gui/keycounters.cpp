#include "keycounters.h"

KeyCounters::KeyCounters(TimerSource& timers, QObject* parent) : QObject(parent) {
    for (int i = 0; i < kKeys; ++i) {
        repeat_[i] = timers.makeTimer(true, [this, i] { repeatKey(i); });
    }
}

KeyCounters::~KeyCounters() = default;

int KeyCounters::indexFor(int key, bool splitscreen, bool invertControls) {
    int index = -1;
    switch (key) {
        case Qt::Key_W:
            index = 0;
            break;
        case Qt::Key_S:
            index = 1;
            break;
        case Qt::Key_D:
            index = 2;
            break;
        case Qt::Key_A:
            index = 3;
            break;
        case Qt::Key_Space:
            index = 4;
            break;
        case Qt::Key_Up:
            index = 0;
            break;
        case Qt::Key_Down:
            index = 1;
            break;
        case Qt::Key_Right:
            index = 2;
            break;
        case Qt::Key_Left:
            index = 3;
            break;
        case Qt::Key_Shift:
            index = 4;
            break;
        default:
            return -1;
    }
    const bool secondSet = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Right ||
                           key == Qt::Key_Left || key == Qt::Key_Shift;
    if (invertControls && (index == 2 || index == 3)) {
        index = 5 - index;
    }
    return splitscreen && secondSet ? index + 5 : index;
}

void KeyCounters::press(int index) {
    if (index < 0 || index >= kKeys) {
        return;
    }
    ++counters_[index];
    Q_EMIT changedInput(counters_);
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
    Q_EMIT changedInput(counters_);
    repeat_[index]->start(index % 5 == 0 ? kRotateRepeatMs : kRepeatMs);
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
