#include "serverlistmodel.h"

#include <algorithm>

int ServerListModel::mask(const Filters& f) {
    int m = 0;
    m |= f.ranked == 0 ? 1 : f.ranked == 1 ? 2 : 0;
    m |= f.password == 0 ? 4 : f.password == 1 ? 8 : 0;
    m |= f.version == 1 ? 16 : 0;
    m |= f.players == 0 ? 32 : f.players == 1 ? 64 : f.players == 2 ? 96 : 0;
    return m;
}

ServerListModel::Filters ServerListModel::fromMask(int m) {
    Filters f;
    f.ranked = (m & 1) ? 0 : (m & 2) ? 1 : -1;
    f.password = (m & 4) ? 0 : (m & 8) ? 1 : -1;
    f.version = (m & 16) ? 1 : -1;
    const int players = m & 96;
    f.players = players == 96 ? 2 : players == 64 ? 1 : players == 32 ? 0 : -1;
    return f;
}

bool ServerListModel::passes(const Filters& f, const ServerData& s) {
    const auto yesNo = [](int filter, bool flag) {
        return filter == -1 || (filter == 0 && flag) || (filter == 1 && !flag);
    };
    if (!yesNo(f.ranked, s.ranked()) || !yesNo(f.password, s.hasPassword())) {
        return false;
    }
    if (f.version == 1 && !s.isCurrentVersion()) {
        return false;
    }
    switch (f.players) {
        case 0:
            return !s.isEmpty();
        case 1:
            return !s.isFull();
        case 2:
            return !s.isEmpty() && !s.isFull();
        default:
            return true;
    }
}

void ServerListModel::setFilters(const Filters& f) {
    filters_ = f;
    page_ = 1;
    refresh();
}

void ServerListModel::stepFilter(int entry, bool forward) {
    const auto cycle = [forward](int value, int last) {
        value += forward ? 1 : -1;
        return value > last ? -1 : value < -1 ? last : value;
    };
    Filters f = filters_;
    switch (entry) {
        case FilterRanked:
            f.ranked = cycle(f.ranked, 1);
            break;
        case FilterPassword:
            f.password = cycle(f.password, 1);
            break;
        case FilterVersion:
            f.version = f.version == 1 ? -1 : 1;
            break;
        case FilterPlayers:
            f.players = cycle(f.players, 2);
            break;
        default:
            return;
    }
    setFilters(f);
}

void ServerListModel::clear() {
    shown_.clear();
    servers_.clear();
    page_ = 1;
    sortColumn_ = -1;
    ascending_ = true;
}

void ServerListModel::add(ServerData server) {
    servers_.add(std::move(server));
    refresh();
}

bool ServerListModel::beginLanRound() {
    if (!servers_.beginLanRound()) {
        return false;
    }
    refresh();
    return true;
}

bool ServerListModel::listShown() const {
    switch (result_) {
        case MasterserverResult::MasterListDone:
            return true;
        case MasterserverResult::MasterListEmpty:
        case MasterserverResult::MasterUnreachable:
            return received() > 0;
        default:
            return false;
    }
}

int ServerListModel::pageCount() const {
    return std::max(1, (filtered() + kPageSize - 1) / kPageSize);
}

void ServerListModel::setPage(int page) {
    page_ = std::clamp(page, 1, pageCount());
}

QList<const ServerData*> ServerListModel::pageRows() const {
    QList<const ServerData*> out;
    const int first = (page_ - 1) * kPageSize;
    for (int i = first; i < filtered() && i < first + kPageSize; ++i) {
        out.append(shown_[i]);
    }
    return out;
}

QList<const ServerData*> ServerListModel::joinable() const {
    QList<const ServerData*> out;
    for (const ServerData* s : pageRows()) {
        if (s->isCurrentVersion()) {
            out.append(s);
        }
    }
    return out;
}

void ServerListModel::sortBy(int column) {
    if (column < 0 || column > 3) {
        return;
    }
    ascending_ = column == sortColumn_ ? !ascending_ : true;
    sortColumn_ = column;
    refresh();
}

void ServerListModel::refresh() {
    shown_.clear();
    for (int i = 0; i < servers_.size(); ++i) {
        if (passes(filters_, servers_.at(i))) {
            shown_.push_back(&servers_.at(i));
        }
    }
    if (sortColumn_ >= 0) {
        const int column = sortColumn_;
        // Compares the values the columns show; equal ones keep arrival order.
        const auto less = [column](const ServerData* a, const ServerData* b) {
            switch (column) {
                case 0:
                    return a->name().compare(b->name(), Qt::CaseInsensitive) < 0;
                case 1:
                    return a->version() < b->version();
                case 2:
                    return std::pair(a->players(), a->maxPlayers()) <
                           std::pair(b->players(), b->maxPlayers());
                default:
                    return a->ping() < b->ping();
            }
        };
        if (ascending_) {
            std::stable_sort(shown_.begin(), shown_.end(), less);
        } else {
            std::stable_sort(
                shown_.begin(), shown_.end(),
                [&less](const ServerData* a, const ServerData* b) { return less(b, a); });
        }
    }
    page_ = std::clamp(page_, 1, pageCount());
}

bool ServerListModel::entryShown(int entry) const {
    if (entry == PreviousPage) {
        return page_ > 1;
    }
    if (entry == NextPage) {
        return page_ < pageCount();
    }
    if (entry == Unused) {
        return false;
    }
    if (entry >= FirstHeader && entry <= LastHeader) {
        return listShown();
    }
    return entry >= 0 && entry <= lastEntry();
}

int ServerListModel::lastEntry() const {
    return LastHeader + int(joinable().size());
}

int ServerListModel::nextEntry(int current, bool down) const {
    const int last = lastEntry();
    int entry = current;
    for (int steps = 0; steps <= last + 1; ++steps) {
        if (down) {
            entry = entry >= last ? 0 : entry + 1;
        } else {
            entry = entry <= 0 ? last : entry - 1;
        }
        if (entry >= FirstHeader && entry <= LastHeader && !listShown()) {
            if (down) {
                return joinable().isEmpty() ? 0 : int(FirstServer);
            }
            entry = Unused;  // on towards the page entries and "Back"
            continue;
        }
        if (entryShown(entry)) {
            return entry;
        }
    }
    return current;
}
