#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

#include "apps/bot/botoptions.h"
#include "client/serverentries.h"
#include "network/networktimings.h"

class ServerBrowser;

// quadrell-bot --list: the game's server list without a window. Asks the
// master server (when masterserver.ini names one) and the local networks
// through the game's own ServerBrowser, merges the answers as the list does,
// waits, and hands the text to print.
class ServerLister : public QObject {
    Q_OBJECT

public:
    explicit ServerLister(const BotOptions& options, const NetworkTimings& timings = {},
                          QObject* parent = nullptr);
    ~ServerLister() override;

    ServerBrowser& browser() { return *browser_; }
    void start();

    // One line per server: name, address:port, players/max, ping, version and
    // the marks (password, ranked, lan; "-" for none), separated by tabs; or
    // a JSON array of objects with the same facts.
    static QString format(const ServerEntries& servers, bool json);

Q_SIGNALS:
    // The wait is over: the text to print (empty or "[]" when nothing answered).
    void finished(QString text);

private:
    BotOptions options_;
    std::unique_ptr<ServerBrowser> browser_;
    ServerEntries servers_;
    QTimer wait_;
};
