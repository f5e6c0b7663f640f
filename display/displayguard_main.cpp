// quadrell-displayguard DISPLAY: started by the game when it switches the
// monitor's mode. Reads what to restore from standard input and, once the
// game's end of it closes, restores that mode on DISPLAY.
#include <unistd.h>
#include <QByteArray>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "display/displayguard.h"
#include "display/xrandrdisplaymodes.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quadrell-displayguard DISPLAY\n");
        return 2;
    }
    // The game waits for the first process; the second lives on in a session
    // of its own, so that a Ctrl-C or a hang-up aimed at the game's terminal
    // does not end it before the game's end of the socket closes.
    const pid_t child = ::fork();
    if (child < 0) {
        return 1;
    }
    if (child > 0) {
        return 0;
    }
    ::setsid();
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);

    QByteArray input;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) {
            // Only the state so far and an unfinished line are kept, so the
            // buffer stays small whatever arrives.
            input.append(buffer, n);
            const qsizetype end = input.lastIndexOf('\n');
            if (end >= 0) {
                input = displayGuardLine(displayGuardTarget(input)) + input.mid(end + 1);
            }
            if (input.size() > 4096) {
                input = displayGuardLine(displayGuardTarget(input));
            }
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    const std::optional<DisplayMode> target = displayGuardTarget(input);
    if (!target) {
        return 0;
    }
    const std::unique_ptr<DisplayModeBackend> backend = openXRandrDisplayModes(argv[1]);
    return backend && backend->setMode(*target) ? 0 : 1;
}
