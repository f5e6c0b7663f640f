#pragma once

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "client/client.h"
#include "game/fieldmirror.h"
#include "tests/support/fakeconnection.h"

// Every signal a Client gives the GUI, written to `events` as one line of
// text, so a test reads what the player would see in order. What the GUI
// would take over is kept here, or with useMirror handed to `mirror`, the
// field copy a player sees.
struct ClientRecorder {
    void listen(Client* c);
    // Event lines beginning with prefix.
    QStringList eventsOf(const QString& prefix) const;

    QStringList events;
    bool useMirror = false;
    FieldMirror mirror;
    std::vector<std::unique_ptr<GameBlock>> blocks;
    std::vector<std::unique_ptr<GameMovement>> movements;
    std::vector<std::unique_ptr<ServerData>> listedServers;

private:
    // Each GUI signal becomes the line: name, then its arguments as text.
    template <typename... Args>
    void record(Client* c, void (Client::*signal)(Args...), const char* name) {
        QObject::connect(c, signal, [this, name](Args... args) {
            QStringList parts{QLatin1String(name)};
            (parts.append(text(args)), ...);
            events.append(parts.join(QLatin1Char(' ')));
        });
    }
    static QString text(bool b) { return b ? QStringLiteral("T") : QStringLiteral("F"); }
    static QString text(int v) { return QString::number(v); }
    static QString text(const QString& s) { return s; }
    static QString text(GuiState s) { return QString::number(int(s)); }
    static QString text(MasterserverResult r) { return QString::number(int(r)); }
    static QString text(const QStringList& l) { return l.join(QLatin1Char(',')); }
    template <typename T>
    static QString text(const QList<T>& l) {
        QStringList parts;
        for (const T& v : l) {
            parts.append(QString::number(int(v)));
        }
        return parts.join(QLatin1Char(','));
    }
    QString text(GameBlock* block);
    QString text(const QList<GameMovement*>& movements);
    QString text(ServerData* server);
};

// One Client on three recording connections, a starter that only counts, and
// a temporary working directory.
struct ClientHarness : ClientRecorder {
    struct Servers {
        std::vector<ServerSettings> started;
        int stopped = 0;
    };

    class CountingServer : public EmbeddedServer {
    public:
        CountingServer(std::shared_ptr<Servers> log, int port)
            : log_(std::move(log)), port_(port) {}
        ~CountingServer() override { ++log_->stopped; }
        int port() const override { return port_; }

    private:
        std::shared_ptr<Servers> log_;
        int port_;
    };

    // settingsIni and masterserverIni: file contents written before the client
    // starts (none when empty); listen: record the GUI signals.
    explicit ClientHarness(const QString& settingsIni = QString(),
                           const QString& masterserverIni = QString(), bool listen = true);

    QTemporaryDir dir;
    FakeConnection* tcp = nullptr;  // owned by the client
    FakeConnection* udp = nullptr;
    FakeConnection* master = nullptr;
    std::shared_ptr<Servers> servers = std::make_shared<Servers>();
    QList<int> quits;
    std::unique_ptr<Client> client;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString readFile(const QString& name) const;
    void clearLog();

    // Both game connections report the handshake, stream first.
    void establish(int connId, bool isHost);
    void hostSingle(bool splitscreen = false);
    void joinAndEstablish(const QString& address, int connId, bool splitscreen = false);
    // Ready, listed as playing, and the start countdown 3, 2, 1, 0.
    void startGame(int connId = 0, int fieldsizeX = 12);
    // The status entries of every "CPLR" sent, as "2,-1".
    QStringList statusesSent() const;
    static QString base(GuiState state, const QString& text = QString()) {
        return QStringLiteral("base %1 %2").arg(int(state)).arg(text);
    }
    // One server-side player list: entries of (connId, name, status), free places added up to 4.
    struct Entry {
        int connId;
        QString name;
        int status;
        int colour = -1;
    };
    void playerList(const QList<Entry>& entries);
    void answerProbe(const QString& version, const QString& address, int port,
                     bool hasPassword = false, int maxPlayers = 4);
};
