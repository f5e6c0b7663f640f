#include "display/displayguard.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <cerrno>

Q_LOGGING_CATEGORY(lcDisplayGuard, "quadrell.shell", QtWarningMsg)

extern char** environ;

namespace {

const char kProgramName[] = "quadrell-displayguard";

QString installedProgram() {
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate :
         {dir + QLatin1Char('/') + QLatin1String(kProgramName),
          dir + QLatin1String("/../libexec/quadrell/") + QLatin1String(kProgramName)}) {
        if (QFileInfo(candidate).isExecutable()) {
            return candidate;
        }
    }
    return {};
}

}  // namespace

DisplayGuard::DisplayGuard(const QString& program) : program_(program) {}

DisplayGuard::~DisplayGuard() {
    if (socket_ >= 0) {
        ::close(socket_);
    }
}

bool DisplayGuard::arm(const QByteArray& displayName, const DisplayMode& original) {
    if (socket_ >= 0 && displayName != displayName_) {
        ::close(socket_);
        socket_ = -1;
    }
    if (socket_ < 0 && !start(displayName)) {
        return false;
    }
    send(displayGuardLine(original));
    return socket_ >= 0;
}

void DisplayGuard::disarm() {
    if (socket_ >= 0) {
        send(displayGuardLine(std::nullopt));
    }
}

bool DisplayGuard::start(const QByteArray& displayName) {
    const QString program = program_.isEmpty() ? installedProgram() : program_;
    if (program.isEmpty()) {
        qCWarning(lcDisplayGuard) << kProgramName << "not found";
        return false;
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 clears close-on-exec, so only the guard's standard input survives.
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    // It may outlive us: it must not hold the pipes someone reads our output from.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const QByteArray path = QFile::encodeName(program);
    QByteArray name = displayName;
    char* argv[] = {const_cast<char*>(path.constData()), name.data(), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        qCWarning(lcDisplayGuard) << "cannot start" << program;
        return false;
    }
    // The guard forks once and its first process ends at once, so nothing is
    // left for us to reap later.
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    socket_ = ends[0];
    displayName_ = displayName;
    return true;
}

void DisplayGuard::send(const QByteArray& line) {
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n =
            ::send(socket_, line.constData() + done, line.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // The guard is gone: there is nobody left to tell.
            ::close(socket_);
            socket_ = -1;
            return;
        }
        done += n;
    }
}

QByteArray displayGuardLine(const std::optional<DisplayMode>& restore) {
    if (!restore) {
        return QByteArrayLiteral("keep\n");
    }
    return QByteArrayLiteral("restore ") + QByteArray::number(restore->width) + ' ' +
           QByteArray::number(restore->height) + ' ' + QByteArray::number(restore->bitsPerPixel) +
           ' ' + QByteArray::number(restore->refreshRate) + '\n';
}

std::optional<DisplayMode> displayGuardTarget(const QByteArray& input) {
    std::optional<DisplayMode> target;
    const qsizetype complete = input.lastIndexOf('\n');
    if (complete < 0) {
        return target;
    }
    for (const QByteArray& line : input.left(complete).split('\n')) {
        if (line == "keep") {
            target.reset();
            continue;
        }
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 5 || words[0] != "restore") {
            continue;
        }
        int values[4] = {};
        bool ok = true;
        for (int i = 0; i < 4 && ok; ++i) {
            values[i] = words[i + 1].toInt(&ok);
        }
        const DisplayMode mode{values[0], values[1], values[2], values[3]};
        if (ok && mode.isValid()) {
            target = mode;
        }
    }
    return target;
}
