#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "display/displaymode.h"

// A small process that outlives this one and puts the monitor back into its
// original mode if this program ends without doing so itself (a crash,
// SIGKILL). It reads what to restore from a socket whose other end only this
// process holds; when that closes, it acts on the last complete line.
class DisplayGuard {
public:
    // An empty program means quadrell-displayguard next to this program or in
    // its libexec folder.
    explicit DisplayGuard(const QString& program = {});
    ~DisplayGuard();
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;

    // From now on the guard restores `original` on the screen `displayName`
    // names. False when the guard process cannot be started.
    bool arm(const QByteArray& displayName, const DisplayMode& original);
    // Nothing left to restore.
    void disarm();

private:
    bool start(const QByteArray& displayName);
    void send(const QByteArray& line);
    QString program_;
    QByteArray displayName_;
    int socket_ = -1;
    int pid_ = -1;
};

// The guard's lines: "restore W H BPP HZ" or "keep".
QByteArray displayGuardLine(const std::optional<DisplayMode>& restore);
// What the last well-formed line of `input` asks for; a last line without
// its newline counts as not written (the writer died in the middle).
std::optional<DisplayMode> displayGuardTarget(const QByteArray& input);
