// Loopback input-to-echo latency: the time from Client::inputKeys to the
// client receiving the movement ("SMVE") that shows the block one column
// further, for one and for four clients of one hosted game. Each client steps
// its block right and left; a press waits 100 to 119 ms after the last echo
// so that the server's input delay between presses is never part of the
// figure and presses fall on every moment of the 20 ms tick.
//
// bench_latency [--clients N] [--samples N]   (default: 1 and then 4 clients, 200 samples each)
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "apps/common/threadhosting.h"
#include "client/client.h"
#include "game/fieldmirror.h"
#include "game/gamegrid.h"

namespace {

constexpr int kPauseMs = 100;  // between an echo and the next press, plus 0..19 ms
constexpr int kTickMs = 20;
constexpr int kGiveUpMs = 500;  // a press without echo by then counts as lost

class Player : public QObject {
public:
    Player(int samples, std::vector<double>& latencies) : samples_(samples), out_(latencies) {
        Client::Environment env;
        env.directory = dir_.path();
        env.quit = [](int) {};
        ThreadHosting hosting;
        hosting.listenAddress = QHostAddress(QHostAddress::LocalHost);
        hosting.directory = env.directory;
        client = std::make_unique<Client>(env, ClientNetwork{}, threadServerStarter(hosting));
        ClientGame* game = &client->game();
        connect(game, &ClientGame::startPlayTime, this, [this] {
            keys_ = {};
            QTimer::singleShot(kPauseMs, this, &Player::press);
        });
        connect(game, &ClientGame::createdNewBlock, this,
                [this](const BlockRecord& b, int fieldsizeX) { mirror_.addBlock(b, fieldsizeX); });
        connect(game, &ClientGame::mergeBlocks, this,
                [this](const QList<GameMovement>& m) { mirror_.mergeBlocks(m); });
        connect(game, &ClientGame::moveBlocks, this,
                [this](const QList<GameMovement>& m, const QList<int>& active) {
                    const qint64 now = clock_.nsecsElapsed();
                    mirror_.moveBlocks(m, active);
                    echo(now);
                });
        clock_.start();
    }

    bool done() const { return taken_ >= samples_; }
    int lost() const { return lost_; }
    std::unique_ptr<Client> client;

private:
    const GameBlock* active() const {
        const GameBlock* b = mirror_.block(mirror_.activeBlockIds().value(0, -1));
        return b && FieldMirror::onField(*b) ? b : nullptr;
    }
    int column(const GameBlock& b) const { return GameGrid::column(mirror_.fieldsizeX(), b.x()); }

    void press() {
        if (done() || client->state() != GamePlayer::Playing) {
            return;
        }
        const GameBlock* b = active();
        if (b == nullptr) {
            QTimer::singleShot(kPauseMs, this, &Player::press);
            return;
        }
        const bool right = (taken_ + lost_) % 2 == 0;
        pieceId_ = b->id();
        expected_ = GameGrid::column(mirror_.fieldsizeX(), (column(*b) + (right ? 1 : -1)) * 50);
        ++keys_[0][right ? 2 : 3];
        waiting_ = true;
        const int attempt = ++attempt_;
        sentAt_ = clock_.nsecsElapsed();
        client->game().inputKeys(keys_);
        QTimer::singleShot(kGiveUpMs, this, [this, attempt] {
            if (waiting_ && attempt == attempt_) {
                waiting_ = false;
                ++lost_;
                press();
            }
        });
    }

    void echo(qint64 now) {
        if (!waiting_) {
            return;
        }
        const GameBlock* b = active();
        if (b == nullptr || b->id() != pieceId_) {
            waiting_ = false;  // landed meanwhile: the press went to nothing
            ++lost_;
            QTimer::singleShot(kPauseMs, this, &Player::press);
            return;
        }
        if (column(*b) != expected_) {
            return;  // a fall, not the step
        }
        waiting_ = false;
        out_.push_back(double(now - sentAt_) / 1e6);
        ++taken_;
        // Not always the same distance from the tick: presses land anywhere in it.
        QTimer::singleShot(kPauseMs + (taken_ * 7) % kTickMs, this, &Player::press);
    }

    QTemporaryDir dir_;
    FieldMirror mirror_;
    QElapsedTimer clock_;
    KeyInput keys_;
    int samples_;
    std::vector<double>& out_;
    int taken_ = 0;
    int lost_ = 0;
    int attempt_ = 0;
    bool waiting_ = false;
    int pieceId_ = -1;
    int expected_ = -1;
    qint64 sentAt_ = 0;
};

// Runs the event loop for a while without spinning the processor.
void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

bool run(int clients, int samples) {
    std::vector<double> latencies;
    std::vector<std::unique_ptr<Player>> players;
    for (int i = 0; i < clients; ++i) {
        players.push_back(std::make_unique<Player>(samples, latencies));
    }
    Client& host = *players.front()->client;
    host.hostGame({.hosting = {.name = QStringLiteral("Latency"),
                               .ranked = false,
                               .usePassword = false,
                               .password = QStringLiteral("P"),
                               .maxPlayers = clients,
                               .port = 0},
                   .singleplayer = clients == 1});
    QElapsedTimer waited;
    waited.start();
    while (host.state() != GamePlayer::Waiting && host.state() != GamePlayer::Ready &&
           waited.elapsed() < 10000) {
        spin(50);
    }
    const QString address = QStringLiteral("127.0.0.1:%1").arg(host.serverPort());
    for (int i = 1; i < clients; ++i) {
        players[i]->client->joinGame(false, address, false, QString());
    }
    // Everybody in the lobby first: a lone ready host would start by itself.
    const auto allIn = [&] {
        return std::all_of(players.begin(), players.end(),
                           [](const auto& p) { return p->client->state() == GamePlayer::Waiting; });
    };
    while (!allIn() && waited.elapsed() < 20000) {
        spin(50);
    }
    for (const auto& p : players) {
        p->client->lobby().setReady();
    }
    const auto allDone = [&] {
        return std::all_of(players.begin(), players.end(), [](const auto& p) { return p->done(); });
    };
    while (!allDone() && waited.elapsed() < 30000 + 2000LL * samples) {
        spin(50);
    }
    int lost = 0;
    for (const auto& p : players) {
        lost += p->lost();
    }
    if (latencies.empty()) {
        std::printf("clients %d: no samples (lost %d)\n", clients, lost);
        return false;
    }
    std::printf("clients %d: samples %zu, median %.2f ms, p99 %.2f ms, max %.2f ms, lost %d\n",
                clients, latencies.size(), percentile(latencies, 0.5), percentile(latencies, 0.99),
                percentile(latencies, 1.0), lost);
    std::fflush(stdout);
    return allDone();
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("clients"), QStringLiteral("Clients (1 to 4)."), QStringLiteral("N")});
    parser.addOption({QStringLiteral("samples"), QStringLiteral("Samples per client."),
                      QStringLiteral("N"), QStringLiteral("200")});
    parser.process(app);
    const int samples = std::max(1, parser.value(QStringLiteral("samples")).toInt());
    QList<int> counts{1, 4};
    if (parser.isSet(QStringLiteral("clients"))) {
        counts = {std::clamp(parser.value(QStringLiteral("clients")).toInt(), 1, 4)};
    }
    bool ok = true;
    for (int clients : counts) {
        ok = run(clients, samples) && ok;
    }
    return ok ? 0 : 1;
}
