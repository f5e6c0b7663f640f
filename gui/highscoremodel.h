#pragma once

#include <QList>

#include "client/highscorefile.h"

// The highscore screen's data: one page per number of players (1 to 4,
// wrapping), the ten best games of each, highest score first.
class HighscoreModel {
public:
    static constexpr int kRows = 10;

    void load(HighscoreFile::Lists lists);
    int page() const { return page_; }
    void setPage(int players);
    void step(bool forward);
    static int neighbour(int page, bool forward) { return (page + (forward ? 0 : 2)) % 4 + 1; }
    QList<const GameResult*> rows() const;

private:
    HighscoreFile::Lists lists_;
    int page_ = 1;
};
