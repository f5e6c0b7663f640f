#include "shell/userfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>

#include "game/appinfo.h"

namespace {

const QString kFolderName = QStringLiteral("quadrell");
const QString kPicturesFolderName = QStringLiteral("Quadrell");
const QString kScreenshots = QStringLiteral("screenshots");

QString unwritable(const QString& path, const QString& what) {
    if (!QDir().mkpath(path)) {
        return QStringLiteral("cannot create the %1 folder %2").arg(what, path);
    }
    if (!QFileInfo(path).isWritable()) {
        return QStringLiteral("cannot write to the %1 folder %2").arg(what, path);
    }
    return {};
}

bool sameFolder(const QString& a, const QString& b) {
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

// Another program's settings.ini in the home folder is not ours to move.
bool hasGroup(const QString& path, const QStringList& groups) {
    const QSettings file(path, QSettings::IniFormat);
    const QStringList present = file.childGroups();
    return std::any_of(groups.begin(), groups.end(),
                       [&](const QString& group) { return present.contains(group); });
}

}  // namespace

FolderEnvironment FolderEnvironment::fromSystem(const QString& explicitDirectory) {
    FolderEnvironment env;
    env.workingDirectory = QDir::currentPath();
    env.explicitDirectory = explicitDirectory;
    env.home = QDir::homePath();
    env.configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    env.dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    env.picturesHome = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    env.dataDirs = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    // A prefix outside the XDG data folders (/opt/quadrell) still finds its own.
    const QString besideProgram =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share"));
    if (!env.dataDirs.contains(besideProgram)) {
        env.dataDirs.append(besideProgram);
    }
    return env;
}

UserFolderResolver::UserFolderResolver(FolderEnvironment environment)
    : env_(std::move(environment)) {}

UserFolderResolver::Result UserFolderResolver::resolve() const {
    if (!env_.explicitDirectory.isEmpty()) {
        Result result = oneFolder(env_.explicitDirectory);
        result.error = unwritable(env_.explicitDirectory, QStringLiteral("data"));
        return result;
    }
    // Started from the home folder, the files there are an earlier version's.
    const QDir work(env_.workingDirectory);
    if (!sameFolder(env_.workingDirectory, env_.home) &&
        (work.exists(QLatin1String(Quadrell::kSettingsFile)) ||
         work.exists(QLatin1String(Quadrell::kHighscoreFile)))) {
        return oneFolder(env_.workingDirectory);
    }

    Result result;
    result.folders.settings = QDir(env_.configHome).filePath(kFolderName);
    result.folders.highscores = QDir(env_.dataHome).filePath(kFolderName);
    result.folders.pictures = QDir(env_.picturesHome).filePath(kPicturesFolderName);
    result.folders.translations = translationFolders();
    result.error = unwritable(result.folders.settings, QStringLiteral("configuration"));
    if (result.error.isEmpty()) {
        result.error = unwritable(result.folders.highscores, QStringLiteral("data"));
    }
    if (result.error.isEmpty()) {
        moveEarlierFiles(result);
    }
    return result;
}

QString UserFolderResolver::playerNotice(const Result& result) {
    if (result.moved.isEmpty()) {
        return {};
    }
    return tr("Files of an earlier version were moved out of your home folder:\n%1")
        .arg(result.moved.join(QLatin1Char('\n')));
}

UserFolderResolver::Result UserFolderResolver::oneFolder(const QString& directory) const {
    Result result;
    result.folders.settings = directory;
    result.folders.highscores = directory;
    result.folders.pictures = directory;
    result.folders.translations = translationFolders();
    return result;
}

// A translator's file in the working folder first, then the installed ones.
QStringList UserFolderResolver::translationFolders() const {
    QStringList folders{env_.workingDirectory};
    for (const QString& data : env_.dataDirs) {
        folders.append(QDir(data).filePath(kFolderName + QStringLiteral("/translations")));
    }
    return folders;
}

void UserFolderResolver::moveEarlierFiles(Result& result) const {
    if (env_.home.isEmpty()) {
        return;
    }
    const QDir home(env_.home);
    QStringList left;
    const auto move = [&](const QString& name, const QString& from, const QString& folder) {
        const QString to = QDir(folder).filePath(QFileInfo(name).fileName());
        if (QFileInfo::exists(to)) {
            left.append(QStringLiteral("%1 (%2 exists)").arg(name, to));
            return false;
        }
        QFile file(from);
        if (!file.rename(to)) {
            left.append(QStringLiteral("%1 (%2)").arg(name, file.errorString()));
            return false;
        }
        return true;
    };

    const struct {
        const char* name;
        QString folder;
        QStringList groups;  // empty: any content
    } files[] = {
        {Quadrell::kSettingsFile,
         result.folders.settings,
         {QStringLiteral("Client"), QStringLiteral("Server"), QStringLiteral("Cache")}},
        {Quadrell::kMasterserverFile, result.folders.settings, {QStringLiteral("Master")}},
        {Quadrell::kHighscoreFile, result.folders.highscores, {}},
    };
    for (const auto& file : files) {
        const QString name = QLatin1String(file.name);
        const QString from = home.filePath(name);
        if (QFileInfo(from).isFile() && (file.groups.isEmpty() || hasGroup(from, file.groups)) &&
            move(name, from, file.folder)) {
            result.moved.append(QStringLiteral("%1 -> %2").arg(name, file.folder));
        }
    }

    const QDir oldShots(home.filePath(kScreenshots));
    const QStringList shots =
        oldShots.exists() ? oldShots.entryList({QStringLiteral("sc_?????.png")}, QDir::Files)
                          : QStringList();
    const QString newShots = QDir(result.folders.pictures).filePath(kScreenshots);
    if (!shots.isEmpty() && !QDir().mkpath(newShots)) {
        left.append(QStringLiteral("%1/ (cannot create %2)").arg(kScreenshots, newShots));
    } else if (!shots.isEmpty()) {
        qsizetype count = 0;
        for (const QString& shot : shots) {
            count += move(kScreenshots + "/" + shot, oldShots.filePath(shot), newShots) ? 1 : 0;
        }
        if (count > 0) {
            result.moved.append(QStringLiteral("%1 screenshots -> %2").arg(count).arg(newShots));
        }
        home.rmdir(kScreenshots);  // only when nothing else is in it
    }

    QStringList parts;
    if (!result.moved.isEmpty()) {
        parts.append(QStringLiteral("moved an earlier version's files out of %1: %2")
                         .arg(env_.home, result.moved.join(QStringLiteral(", "))));
    }
    if (!left.isEmpty()) {
        parts.append(
            QStringLiteral("left in %1: %2").arg(env_.home, left.join(QStringLiteral(", "))));
    }
    result.notice = parts.join(QStringLiteral("; "));
}
