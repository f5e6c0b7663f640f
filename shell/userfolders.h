#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// Where the game keeps what it writes for the player.
struct GameFolders {
    QString settings;    // settings.ini and masterserver.ini
    QString highscores;  // highscore.dat
    QString pictures;    // the folder that holds screenshots/
    // Searched for quadrell_<xx>.qm, in order, before the built-in texts.
    QStringList translations;
};

// What the choice of folders depends on, taken from the process by
// fromSystem() and set by hand in tests.
struct FolderEnvironment {
    QString workingDirectory;
    QString explicitDirectory;  // everything in one named folder; empty: none
    QString home;
    QString configHome;    // ~/.config
    QString dataHome;      // ~/.local/share
    QString picturesHome;  // ~/Pictures
    QStringList dataDirs;  // every data folder, the user's first, then the installed ones

    static FolderEnvironment fromSystem(const QString& explicitDirectory);
};

// Chooses the game's folders: one named folder; else the working folder when
// it holds a portable copy's files; else the user's configuration, data and
// pictures folders. Files that an earlier version left directly in the home
// folder move to the user's folders once, never over files already there.
class UserFolderResolver {
    Q_DECLARE_TR_FUNCTIONS(UserFolderResolver)

public:
    struct Result {
        GameFolders folders;
        QString error;      // the files have no place; nothing was moved
        QString notice;     // one line about files moved (or left) from the home folder
        QStringList moved;  // "settings.ini -> /home/x/.config/quadrell", ...
    };

    explicit UserFolderResolver(FolderEnvironment environment);

    // Creates the folders the game writes to, then moves the earlier files.
    Result resolve() const;

    // What the game tells the player about moved files; empty when none moved.
    static QString playerNotice(const Result& result);

private:
    Result oneFolder(const QString& directory) const;
    QStringList translationFolders() const;
    void moveEarlierFiles(Result& result) const;

    FolderEnvironment env_;
};
