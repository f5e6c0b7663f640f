// Load on a real quadrell-master process over loopback: registrations and list
// requests answered per second, and its resident memory with 10,000 servers.
// Requests come from many source addresses (127.1.x.y) as they would in the
// wild, each within the per-address allowance of the service.
#include <sys/resource.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTime>
#include <QUdpSocket>
#include <cstdio>
#include <memory>
#include <vector>

#include "network/connectionmessage.h"
#include "network/messagedecoder.h"
#include "network/payloadcodec.h"

namespace {

constexpr int kServersPerAddress = 20;  // within one address's burst of answers
constexpr int kServers = 10000;
constexpr int kListsPerAddress = 4;
constexpr int kListAddresses = 2500;
constexpr int kListBatch = 500;

long residentKb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

QHostAddress sourceAddress(int i) {
    return QHostAddress(QStringLiteral("127.1.%1.%2").arg(i / 250).arg(i % 250 + 1));
}

// Sends every request of every socket, at most `window` unanswered at a time,
// and returns the seconds until all answers of type `answer` arrived (-1 when
// some never came).
double run(std::vector<std::unique_ptr<QUdpSocket>>& sockets,
           const std::vector<std::vector<QByteArray>>& requests, quint16 masterPort,
           const QString& answer, int window) {
    std::size_t total = 0;
    for (const auto& r : requests) {
        total += r.size();
    }
    std::vector<std::size_t> next(sockets.size(), 0);
    std::size_t sent = 0;
    std::size_t answered = 0;
    std::size_t cursor = 0;
    const auto sendMore = [&] {
        while (sent - answered < static_cast<std::size_t>(window) && sent < total) {
            const std::size_t s = cursor++ % sockets.size();
            if (next[s] < requests[s].size()) {
                sockets[s]->writeDatagram(requests[s][next[s]++], QHostAddress::LocalHost,
                                          masterPort);
                ++sent;
            }
        }
    };
    MessageDecoder decoder(MessageDecoder::Mode::Datagram);
    QList<ConnectionMessage> messages;
    std::vector<QMetaObject::Connection> connections;
    for (auto& socket : sockets) {
        QUdpSocket* raw = socket.get();
        connections.push_back(QObject::connect(raw, &QUdpSocket::readyRead, raw, [&, raw] {
            while (raw->hasPendingDatagrams()) {
                messages.clear();
                decoder.feed(raw->receiveDatagram().data(), messages);
                for (const ConnectionMessage& m : messages) {
                    answered += m.type == answer ? 1 : 0;
                }
            }
            sendMore();
        }));
    }
    QElapsedTimer timer;
    timer.start();
    sendMore();
    while (answered < total && timer.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        sendMore();
    }
    for (const auto& c : connections) {
        QObject::disconnect(c);
    }
    if (answered != total) {
        std::fprintf(stderr, "bench_master: %zu of %zu answered, %zu sent\n", answered, total,
                     sent);
    }
    return answered == total ? timer.nsecsElapsed() / 1e9 : -1.0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    // A free port for the master; its log goes nowhere so that writing it
    // never holds the service up.
    quint16 port = 0;
    {
        QUdpSocket probe;
        probe.bind(QHostAddress::LocalHost, 0);
        port = probe.localPort();
    }
    QProcess master;
    master.setStandardOutputFile(QProcess::nullDevice());
    master.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/quadrell-master"),
                 {QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                  QString::number(port)});
    if (!master.waitForStarted(5000)) {
        std::fprintf(stderr, "bench_master: quadrell-master did not start\n");
        return 1;
    }
    {
        // Ready once it answers a check.
        QUdpSocket check;
        check.bind(QHostAddress::LocalHost, 0);
        QElapsedTimer waited;
        waited.start();
        while (!check.hasPendingDatagrams() && waited.elapsed() < 5000) {
            check.writeDatagram(ConnectionMessage(MessageCode::CTS, QStringLiteral("T")).encode(),
                                QHostAddress::LocalHost, port);
            check.waitForReadyRead(100);
        }
    }
    const long idleKb = residentKb(master.processId());

    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    std::vector<std::vector<QByteArray>> requests;
    const QString time = QTime::currentTime().toString(Qt::ISODate);
    for (int a = 0; a < kServers / kServersPerAddress; ++a) {
        auto socket = std::make_unique<QUdpSocket>();
        if (!socket->bind(sourceAddress(a), 0)) {
            std::fprintf(stderr, "bench_master: cannot bind %s\n",
                         qPrintable(sourceAddress(a).toString()));
            return 1;
        }
        std::vector<QByteArray> mine;
        for (int p = 0; p < kServersPerAddress; ++p) {
            mine.push_back(ConnectionMessage(MessageCode::SON, PayloadCodec::buildAnnouncement(
                                                                   QStringLiteral("Beta 0.92"),
                                                                   20000 + p, true, time))
                               .encode());
        }
        requests.push_back(std::move(mine));
        sockets.push_back(std::move(socket));
    }
    const double registerSeconds = run(sockets, requests, port, QStringLiteral("MON"), 64);
    const long fullKb = residentKb(master.processId());

    // Lists from fresh addresses, in batches that keep the number of open
    // sockets below what one event loop handles well.
    double listSeconds = 0;
    for (int batch = 0; batch < kListAddresses / kListBatch && listSeconds >= 0; ++batch) {
        sockets.clear();
        requests.clear();
        for (int a = 0; a < kListBatch; ++a) {
            const QHostAddress source =
                sourceAddress(kServers / kServersPerAddress + batch * kListBatch + a);
            auto socket = std::make_unique<QUdpSocket>();
            if (!socket->bind(source, 0)) {
                std::fprintf(stderr, "bench_master: cannot bind %s\n",
                             qPrintable(source.toString()));
                return 1;
            }
            requests.emplace_back(
                kListsPerAddress,
                ConnectionMessage(MessageCode::CLS, QStringLiteral("L")).encode());
            sockets.push_back(std::move(socket));
        }
        const double seconds = run(sockets, requests, port, QStringLiteral("MLS"), 64);
        listSeconds = seconds < 0 ? -1 : listSeconds + seconds;
    }

    master.terminate();
    master.waitForFinished(5000);

    std::printf(
        "quadrell-master on loopback, requests from many 127.1.x.y addresses, 64 in flight\n");
    if (registerSeconds < 0 || listSeconds < 0) {
        std::printf("some requests were not answered (registrations %.3f s, lists %.3f s)\n",
                    registerSeconds, listSeconds);
        return 1;
    }
    std::printf("registrations: %d in %.3f s = %.0f per second\n", kServers, registerSeconds,
                kServers / registerSeconds);
    const int lists = kListsPerAddress * kListAddresses;
    std::printf("list requests: %d in %.3f s = %.0f per second (32 servers per answer)\n", lists,
                listSeconds, lists / listSeconds);
    std::printf("resident memory: %ld kB idle, %ld kB with %d servers\n", idleKb, fullKb, kServers);
    return 0;
}
