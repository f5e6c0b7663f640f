#include "highscoremodel.h"

#include <algorithm>

void HighscoreModel::load(HighscoreFile::Lists lists) {
    lists_ = std::move(lists);
}

void HighscoreModel::setPage(int players) {
    page_ = std::clamp(players, 1, HighscoreFile::kMaxPlayers);
}

void HighscoreModel::step(bool forward) {
    page_ = neighbour(page_, forward);
}

QList<const GameResult*> HighscoreModel::rows() const {
    QList<const GameResult*> out;
    for (const auto& r : lists_[page_ - 1]) {
        if (out.size() == kRows) {
            break;
        }
        out.append(r.get());
    }
    return out;
}
