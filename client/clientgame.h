#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include "client/clientchannels.h"
#include "client/clientscreen.h"
#include "client/clientsession.h"
#include "client/highscorefile.h"
#include "game/blockrecords.h"
#include "network/connectioninterface.h"

// A game's run as the client sees it: the start and resume countdowns, pause,
// restart, game over with the highscore line, a late joiner's field, and the
// blocks dealt, moved and merged, passed on to the field copy; the other way,
// the player's keys and the requests for lost datagrams. The client never
// simulates the game: it hands on what the server reports.
//
// Works on the session the Client owns, through the Client's two game
// channels; it moves the own status within a game (Playing, Pausing, back
// to Waiting) and says on the client's screen what happens.
class ClientGame : public QObject {
    Q_OBJECT

public:
    ClientGame(ClientSession& session, ClientChannels& channels, const HighscoreFile& highscores,
               ClientScreen& screen, QObject* parent = nullptr);

public Q_SLOTS:
    // GUI: the ten key counters, sent as they are; nothing while not connected.
    void inputKeys(const KeyInput& keys);
    // GUI: the field copy missed a datagram.
    void processPacketLoss();

    void processGameStart(const PayloadCodec::GameStart& start);
    void processGamePause(const PayloadCodec::Pause& pause);
    void processGameRestart(int connId);
    void processGameOver(const PayloadCodec::GameOver& over);
    void processGameState(const PayloadCodec::GameState& state);
    void processNewBlock(const BlockRecord& block);
    void processMoveBlocks(const QList<GameMovement>& movements, const QList<int>& activeBlockIds,
                           const QList<int>& keysDone);

Q_SIGNALS:
    void changeFieldsizeX(int fieldsizeX);
    void setRotation(bool rotate);
    // add: a late joiner's running figures; else the final ones of a game.
    void setScore(int score, bool add);
    void setPlaytime(QString playtime, bool add);
    // The play time's clock: from the start or a late join, paused, stopped.
    void startPlayTime();
    void pausePlayTime(bool paused);
    void stopPlayTime();
    // A game ended: the server's figures, after the texts and values above.
    void gameOver(int score, int lines, QString playtime);
    // The field copy's events: a block dealt on a field fieldsizeX wide (id 0
    // begins a new empty field), a late joiner's field with its landed boxes,
    // blocks moved, blocks landed.
    void createdNewBlock(BlockRecord block, int fieldsizeX);
    void createdField(int fieldsizeX, QList<FieldCell> landed);
    // keysDone: the server's carried-out key counters, empty if it sent none.
    void moveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds, QList<int> keysDone);
    void mergeBlocks(QList<GameMovement> movements);

private:
    // The first step of a countdown puts the game on screen.
    void showGame();
    void saveHighscore(int score, int lines, const QString& playtime);

    ClientSession& session_;
    ClientChannels& channels_;
    const HighscoreFile& highscores_;
    ClientScreen& screen_;
    // What went to the server this game: the carried-out counters travel as
    // residues of it.
    KeyInput sent_;
};
