// SDL's virtual pads through GamepadInput into the GUI, acting as their keys.
#include <QTest>

#include "shell/gamepadinput.h"
#include "shell/guiwiring.h"
#include "tests/gui/guifixture.h"
#include "tests/shell/virtualpad.h"

namespace {

struct PadFixture : GuiFixture {
    PadFixture() : pads(timers) { connectGamepads(pads, *gui); }
    int count(int i) const { return gui->input().keys().counters()[i]; }
    // Into a running game as host, alone or in splitscreen.
    void play(bool splitscreen) {
        lobby(splitscreen ? 2 : 1, splitscreen, true, {0});
        session().stack().setBaseState(GuiState::Game, QString());
        session().startPlayTime();
    }
    void poll() { timers.advance(GamepadInput::kPollMs); }
    void press(VirtualPad& pad, SDL_GameControllerButton b, bool down = true) {
        pad.button(b, down);
        poll();
    }

    GamepadInput pads;
};

}  // namespace

class TestGamepad : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lobbyAndGameWithAPad() {
        PadFixture f;
        QVERIFY(f.pads.available());
        VirtualPad pad;
        QVERIFY(pad.attached());
        f.poll();
        const QString name = f.pads.names().value(0);
        QVERIFY(!name.isEmpty());
        QCOMPARE(f.stack().message(), "Gamepad connected: " + name);
        QCOMPARE(f.menus().menu(GuiState::OptionsMenu).text, "Gamepad: " + name);

        // Down moves the kick list, not the host's start key; Y starts, A is ready.
        f.lobby(4, false, true, {0, 1});
        f.events.clear();
        for (auto b : {SDL_CONTROLLER_BUTTON_DPAD_DOWN, SDL_CONTROLLER_BUTTON_DPAD_RIGHT,
                       SDL_CONTROLLER_BUTTON_Y, SDL_CONTROLLER_BUTTON_A}) {
            f.press(pad, b);
            f.press(pad, b, false);
        }
        QCOMPARE(f.events, (QStringList{"colors 0 -1", "start", "ready"}));
        f.press(pad, SDL_CONTROLLER_BUTTON_START);
        QCOMPARE(f.top(), GuiState::GameMenu);
        pad.button(SDL_CONTROLLER_BUTTON_START, false);
        f.press(pad, SDL_CONTROLLER_BUTTON_B);  // back, in a menu
        QCOMPARE(f.top(), GuiState::Lobby);

        // In the game: held directions repeat as keys, and the stick has a dead zone.
        pad.button(SDL_CONTROLLER_BUTTON_B, false);
        f.play(false);
        f.press(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
        QCOMPARE(f.count(3), 1);
        f.timers.advance(KeyCounters::kFirstRepeatMs);
        QCOMPARE(f.count(3), 2);
        // The stick the same way keeps the direction held when the d-pad lets go.
        pad.axis(SDL_CONTROLLER_AXIS_LEFTX, -20000);
        f.press(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
        QCOMPARE(f.count(3), 2);
        pad.axis(SDL_CONTROLLER_AXIS_LEFTX, -GamepadInput::kStickRelease - 1);
        f.timers.advance(KeyCounters::kRepeatMs);
        QCOMPARE(f.count(3), 3);
        pad.axis(SDL_CONTROLLER_AXIS_LEFTX, -GamepadInput::kStickRelease + 1);
        f.timers.advance(1000);
        QCOMPARE(f.count(3), 3);
        // Inside the dead zone nothing; past it once, pushed up nothing turns.
        pad.axis(SDL_CONTROLLER_AXIS_LEFTY, GamepadInput::kStickPress - 1);
        f.poll();
        QCOMPARE(f.count(1), 0);
        pad.axis(SDL_CONTROLLER_AXIS_LEFTY, 32767);
        f.poll();
        QCOMPARE(f.count(1), 1);
        pad.axis(SDL_CONTROLLER_AXIS_LEFTY, -32768);
        f.poll();
        pad.axis(SDL_CONTROLLER_AXIS_LEFTY, 0);
        pad.button(SDL_CONTROLLER_BUTTON_B, true);
        f.press(pad, SDL_CONTROLLER_BUTTON_X);
        f.timers.advance(1000);
        // B rotates (and repeats every 160 ms), X drops once.
        QCOMPARE(f.gui->input().keys().counters(), (QList<int>{7, 1, 0, 3, 1, 0, 0, 0, 0, 0}));
        f.press(pad, SDL_CONTROLLER_BUTTON_BACK);
        QVERIFY(f.session().tabHeld());
        f.press(pad, SDL_CONTROLLER_BUTTON_BACK, false);
        QVERIFY(!f.session().tabHeld());
    }

    void twoPadsAreTwoPlayersAndAPadLeavesWithoutPausing() {
        PadFixture f;
        VirtualPad first, second;
        f.poll();
        QCOMPARE(f.menus().menu(GuiState::OptionsMenu).text,
                 "Gamepads: " + f.pads.names().join(", "));
        f.play(true);
        first.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
        second.button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
        f.press(second, SDL_CONTROLLER_BUTTON_Y);
        QCOMPARE(f.gui->input().keys().counters(), (QList<int>{0, 0, 0, 1, 0, 0, 0, 1, 0, 1}));

        const QString name = f.pads.names().value(1);
        second.unplug();
        f.poll();
        QVERIFY(f.stack().message().endsWith("\n\nGamepad disconnected: " + name));
        QCOMPARE(f.pads.names(), (QStringList{f.pads.names().value(0), QString()}));
        f.timers.advance(KeyCounters::kFirstRepeatMs);
        QCOMPARE(f.gui->input().keys().counters(), (QList<int>{0, 0, 0, 2, 0, 0, 0, 1, 0, 1}));
        QCOMPARE(f.states(), QList<GuiState>{GuiState::Game});
        QVERIFY(f.session().score().running());

        // Plugged in again, it takes the free place: the second player's.
        VirtualPad again;
        f.poll();
        QCOMPARE(f.pads.names().value(1), name);
    }
};

QTEST_MAIN(TestGamepad)
#include "test_gamepad.moc"
