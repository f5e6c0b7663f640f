#include "serverlister.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "client/clientnetwork.h"
#include "client/serverbrowser.h"
#include "game/appinfo.h"
#include "network/connectioninterface.h"
#include "network/endpoint.h"
#include "network/masterserversettings.h"

ServerLister::ServerLister(const BotOptions& options, const NetworkTimings& timings,
                           QObject* parent)
    : QObject(parent), options_(options) {
    const MasterserverSettings where =
        options_.masterConfig.isEmpty()
            ? MasterserverSettings::load(QString(), false)
            : MasterserverSettings::loadFile(options_.masterConfig, false);
    browser_ = std::make_unique<ServerBrowser>(makeMasterConnection(timings).release(), where);
    if (!options_.lanTo.isEmpty()) {
        browser_->lan().setTargets([to = options_.lanTo] { return to; });
    }
    if (!options_.lanPorts.isEmpty()) {
        browser_->lan().setPorts(options_.lanPorts);
    }
    connect(browser_.get(), &ServerBrowser::newServer, this,
            [this](const ServerData& server) { servers_.add(server); });
    wait_.setSingleShot(true);
    wait_.setInterval(options_.waitMs);
    connect(&wait_, &QTimer::timeout, this,
            [this] { Q_EMIT finished(format(servers_, options_.json)); });
}

ServerLister::~ServerLister() = default;

void ServerLister::start() {
    browser_->getServerlist();
    wait_.start();
}

QString ServerLister::format(const ServerEntries& servers, bool json) {
    if (json) {
        QJsonArray array;
        for (int i = 0; i < servers.size(); ++i) {
            const ServerData& s = servers.at(i);
            array.append(QJsonObject{{QStringLiteral("name"), s.name()},
                                     {QStringLiteral("address"), s.address()},
                                     {QStringLiteral("port"), s.port()},
                                     {QStringLiteral("players"), s.players()},
                                     {QStringLiteral("maxPlayers"), s.maxPlayers()},
                                     {QStringLiteral("ping"), s.ping()},
                                     {QStringLiteral("version"), s.version()},
                                     {QStringLiteral("password"), s.hasPassword()},
                                     {QStringLiteral("ranked"), s.ranked()},
                                     {QStringLiteral("lan"), s.isLan()}});
        }
        return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)) +
               QLatin1Char('\n');
    }
    QString out;
    for (int i = 0; i < servers.size(); ++i) {
        const ServerData& s = servers.at(i);
        QStringList marks;
        if (s.hasPassword()) {
            marks << QStringLiteral("password");
        }
        if (s.ranked()) {
            marks << QStringLiteral("ranked");
        }
        if (s.isLan()) {
            marks << QStringLiteral("lan");
        }
        // Names may hold spaces; tabs keep the columns apart.
        out += QStringLiteral("%1\t%2\t%3/%4\t%5 ms\t%6\t%7\n")
                   .arg(s.name(), Endpoint{QHostAddress(s.address()), s.port()}.text())
                   .arg(s.players())
                   .arg(s.maxPlayers())
                   .arg(s.ping())
                   .arg(s.version(), marks.isEmpty() ? QStringLiteral("-") : marks.join(u','));
    }
    return out;
}
