#pragma once

#include <QList>
#include <vector>

#include "client/serverentries.h"
#include "network/serverdata.h"

// The server list screen's data: every server received, the filters and
// their bit mask, the sorted pages of ten, and the keyboard walk over the
// screen's entries.
class ServerListModel {
public:
    static constexpr int kPageSize = 10;

    // Entries of the screen.
    enum Entry {
        FilterRanked = 0,
        FilterPassword = 1,
        FilterVersion = 2,
        FilterPlayers = 3,
        Update = 4,
        Back = 5,
        PreviousPage = 6,
        NextPage = 7,
        Unused = 8,
        FirstHeader = 9,  // "Name", "Version", "Players", "Ping"
        LastHeader = 12,
        FirstServer = 13,  // the joinable servers of the page, in the order shown
    };

    // -1 is "All" everywhere. Ranked and password: 0 yes, 1 no; version: 1
    // same; players: 0 not empty, 1 not full, 2 neither.
    struct Filters {
        int ranked = -1;
        int password = -1;
        int version = -1;
        int players = -1;
        bool operator==(const Filters&) const = default;
    };

    static int mask(const Filters& f);
    static Filters fromMask(int mask);
    static bool passes(const Filters& f, const ServerData& server);

    const Filters& filters() const { return filters_; }
    void setFilters(const Filters& f);
    // One filter entry (FilterRanked..FilterPlayers) steps on; page 1 again.
    void stepFilter(int entry, bool forward);

    // Every server goes; page 1, no sort.
    void clear();
    // Each server once (ServerEntries).
    void add(ServerData server);
    bool beginLanRound();
    int received() const { return servers_.size(); }
    int filtered() const { return int(shown_.size()); }

    int page() const { return page_; }
    int pageCount() const;
    void setPage(int page);
    // The rows of the current page in the order shown.
    QList<const ServerData*> pageRows() const;
    // The joinable rows of the page: only servers of this program's version.
    QList<const ServerData*> joinable() const;

    // A header (0 name, 1 version, 2 players, 3 ping): ascending, and the
    // same header again reverses the order.
    void sortBy(int column);
    int sortColumn() const { return sortColumn_; }
    bool ascending() const { return ascending_; }

    void setResult(MasterserverResult result) { result_ = result; }
    MasterserverResult result() const { return result_; }
    // The headers can be chosen only when the list is complete, or when the
    // master server has nothing more to add to the games of the local networks.
    bool listShown() const;

    bool entryShown(int entry) const;
    int lastEntry() const;
    // The next entry up or down from current, skipping what is not shown.
    int nextEntry(int current, bool down) const;

private:
    void refresh();

    ServerEntries servers_;
    std::vector<const ServerData*> shown_;  // filtered and sorted
    Filters filters_;
    int page_ = 1;
    int sortColumn_ = -1;
    bool ascending_ = true;
    MasterserverResult result_ = MasterserverResult::ResultNone;
};
