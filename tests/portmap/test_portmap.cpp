// Asking a router for the game port: the datagrams, the order of ways and ports against scripted
// routers, and the PCP/NAT-PMP client against a router played by a socket on 127.0.0.1.
#include <QMap>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>
#include <algorithm>

#include "portmap/gatewaymessage.h"
#include "portmap/gatewaymethod.h"
#include "portmap/reachability.h"
#include "tests/support/fakeportmapmethod.h"

namespace {

using Script = FakePortMapMethod::Script;
const QHostAddress kPublic("11.22.33.1");
const QByteArray kNonce("twelve bytes");

const PortMapTimings kFast{
    .methodTimeoutMs = 100, .releaseTimeoutMs = 200, .gatewayFirstResendMs = 20, .gatewaySends = 3};

MapAnswer granted(MapProtocol protocol, int port) {
    return {.protocol = protocol,
            .granted = true,
            .externalPort = port,
            .publicAddress = kPublic,
            .reason = {}};
}

// One request to a gateway and its answer.
MapAnswer askOnce(GatewayMethod& gateway, const MapRequest& request) {
    QSignalSpy answered(&gateway, &PortMapMethod::answered);
    gateway.request(request);
    if (!QTest::qWaitFor([&] { return !answered.isEmpty(); }, 5000)) {
        return {};
    }
    return answered.first().first().value<MapAnswer>();
}

// A PCP answer to request (60 bytes), with the router's choices.
QByteArray pcpAnswer(const QByteArray& request, int result, int port, quint32 lifetime) {
    QByteArray a = request;
    a[1] = char(0x81);
    a[3] = char(result);
    for (int i = 0; i < 4; ++i) {
        a[4 + i] = char(lifetime >> (24 - 8 * i));
    }
    a[42] = char(port >> 8);
    a[43] = char(port & 0xff);
    const char mapped[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, char(0xff), char(0xff), 11, 22, 33, 1};
    return a.left(44) + QByteArray(mapped, 16);
}

// A router on 127.0.0.1 that hands every datagram to answer() and sends back what it returns.
struct FakeRouter {
    QUdpSocket socket;
    QList<QByteArray> received;
    std::function<QList<QByteArray>(const QByteArray&)> answer;

    FakeRouter() {
        socket.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&socket, &QUdpSocket::readyRead, [this] {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket.receiveDatagram();
                received << d.data();
                for (const QByteArray& a : answer ? answer(d.data()) : QList<QByteArray>()) {
                    socket.writeDatagram(a, d.senderAddress(), d.senderPort());
                }
            }
        });
    }
    quint16 port() const { return socket.localPort(); }
};

struct Mapper {
    std::shared_ptr<QStringList> log = std::make_shared<QStringList>();
    std::unique_ptr<PortMapper> mapper;
    std::unique_ptr<QSignalSpy> changes;
    FakePortMapMethod* first = nullptr;

    explicit Mapper(std::vector<std::pair<QString, Script>> methods) {
        std::vector<PortMapper::MethodFactory> factories;
        for (auto& [name, script] : methods) {
            factories.push_back(FakePortMapMethod::factory(name, script, log,
                                                           factories.empty() ? &first : nullptr));
        }
        mapper =
            std::make_unique<PortMapper>(27403, std::move(factories), kFast, [] { return 50000; });
        changes = std::make_unique<QSignalSpy>(mapper.get(), &PortMapper::changed);
        mapper->start();
    }
    PortMapping last() const { return changes->last().at(0).value<PortMapping>(); }
    bool settled() const {
        return !changes->isEmpty() && last().state != PortMapping::State::Pending;
    }
};

}  // namespace

class TestPortMap : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void datagramsOnTheWireAndTheGateway() {
        const QByteArray pcp = GatewayMessage::pcpMap(kNonce, QHostAddress("192.168.77.2"),
                                                      {MapProtocol::Udp, 27403, 27404, 3600});
        QCOMPARE(pcp.toHex(), "0201000000000e1000000000000000000000ffffc0a84d02" + kNonce.toHex() +
                                  "110000006b0b6b0c00000000000000000000ffff00000000");
        QCOMPARE(GatewayMessage::natPmpMap({MapProtocol::Tcp, 27403, 27403, 7200}).toHex(),
                 QByteArray("000200006b0b6b0b00001c20"));

        const auto parsed = [](const QByteArray& bytes) {
            const auto a = GatewayMessage::parse(bytes);
            return a ? QString::asprintf("%d %d %d %d %d ", int(a->kind), int(a->protocol),
                                         a->internalPort, a->externalPort, a->lifetimeSeconds) +
                           a->externalAddress.toString()
                     : QString();
        };
        using Kind = GatewayMessage::Answer::Kind;
        const QByteArray pcpMapped = pcpAnswer(pcp, 0, 40000, 120);
        const QByteArray natPmp = QByteArray::fromHex("00820000000012346b0b9c400000012c");
        QCOMPARE(parsed(pcpMapped), QStringLiteral("%1 %2 27403 40000 120 11.22.33.1")
                                        .arg(int(Kind::PcpMap))
                                        .arg(int(MapProtocol::Udp)));
        QCOMPARE(parsed(natPmp), QStringLiteral("%1 %2 27403 40000 300 ")
                                     .arg(int(Kind::NatPmpMap))
                                     .arg(int(MapProtocol::Tcp)));
        // Whatever a router (or anyone) sends: no answer unless it is whole.
        for (int n = 0; n < pcpMapped.size(); ++n) {
            QVERIFY(parsed(pcpMapped.left(n)).isEmpty());
            QVERIFY(parsed(natPmp.left(std::min<int>(n, 15))).isEmpty());
        }

        // Where they go: the default gateway from the route table.
        const QByteArray table =
            "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
            "eth0\t004DA8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\n"
            "eth0\t00000000\t014DA8C0\t0003\t0\t0\t0\t00000000\n";
        QCOMPARE(GatewayMessage::defaultGateway(table), QHostAddress("192.168.77.1"));
        QVERIFY(GatewayMessage::defaultGateway(table.left(120)).isNull());
        QVERIFY(GatewayMessage::defaultGateway("x\n\t00000000 zz 3\n00000000").isNull());
    }

    // Ways are tried in turn, passing over one that does not answer in time; a taken port makes
    // another drawn, and a UDP port other than TCP's has both given back and that port asked for.
    void waysAndPortsAreTriedInTurn_data() {
        QTest::addColumn<QStringList>("ways");  // name:refuse, grant, silent or taken
        QTest::addColumn<QString>("outcome");   // the way and the public endpoint
        QTest::addColumn<QStringList>("log");
        const QStringList second{"UPnP ask TCP 27403", "PCP ask TCP 27403", "PCP ask UDP 27403"};
        QTest::newRow("second way")
            << QStringList{"UPnP:refuse", "PCP:grant"} << "PCP 11.22.33.1:27403" << second;
        QTest::newRow("silent way")
            << QStringList{"UPnP:silent", "PCP:grant"} << "PCP 11.22.33.1:27403" << second;
        QTest::newRow("none") << QStringList{"UPnP:refuse", "PCP:refuse"} << "refused"
                              << second.mid(0, 2);
        QTest::newRow("port taken")
            << QStringList{"UPnP:taken"} << "UPnP 11.22.33.1:50001"
            << QStringList{"UPnP ask TCP 27403",     "UPnP ask TCP 50000",     "UPnP ask UDP 50000",
                           "UPnP release TCP 50000", "UPnP release UDP 50001", "UPnP ask TCP 50001",
                           "UPnP ask UDP 50001"};
    }
    void waysAndPortsAreTriedInTurn() {
        QFETCH(QStringList, ways);
        const Script taken = [](const MapRequest& r) -> std::optional<MapAnswer> {
            if (r.externalPort == 27403) {
                MapAnswer a;
                a.protocol = r.protocol;
                a.portTaken = true;
                return a;
            }
            const bool other = r.protocol == MapProtocol::Udp && r.externalPort == 50000;
            return granted(r.protocol, other ? 50001 : r.externalPort);
        };
        const QMap<QString, Script> scripts{
            {"refuse", FakePortMapMethod::refuseAll()},
            {"grant", FakePortMapMethod::grantAll()},
            {"silent", [](const MapRequest&) { return std::nullopt; }},
            {"taken", taken}};
        std::vector<std::pair<QString, Script>> methods;
        for (const QString& way : ways) {
            methods.emplace_back(way.section(':', 0, 0), scripts.value(way.section(':', 1)));
        }
        Mapper m(methods);
        QTRY_VERIFY(m.settled());
        QCOMPARE(m.changes->first().at(0).value<PortMapping>().state, PortMapping::State::Pending);
        const PortMapping last = m.last();
        QTEST(last.state == PortMapping::State::Open ? last.method + ' ' + last.publicEndpoint()
                                                     : QStringLiteral("refused"),
              "outcome");
        QTEST(*m.log, "log");
        if (ways.first() == "UPnP:silent") {  // what it grants late is given back at once
            m.first->answerLate(granted(MapProtocol::Tcp, 27403));
            QCOMPARE(m.log->last(), "UPnP release TCP 27403");
            QCOMPARE(m.mapper->mapping().method, "PCP");
        }
    }

    // A router whose own outside address is private (100.64/10: the provider's shared NAT) stands
    // behind another NAT: open, but not reachable from the internet.
    void privateOutsideAddressIsNotPublic() {
        const std::pair<const char*, bool> behind[] = {
            {"11.22.33.1", false},  {"192.168.178.1", true},
            {"10.1.2.3", true},     {"172.31.255.1", true},
            {"172.32.0.1", false},  {"100.72.0.9", true},
            {"100.128.0.1", false}, {"", true},
            {"2001:db8::1", false}, {"fd00::1", true}};
        for (const auto& [address, expected] : behind) {
            const PortMapping m{PortMapping::State::Open, "PCP", QHostAddress(address), 27403,
                                27403};
            QVERIFY2(m.behindAnotherNat() == expected, address);
        }
    }

    // One line per answer, for the host's lobby and for the dedicated server's output scripts read.
    void reachabilityLines_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("lobby");
        QTest::addColumn<QString>("console");
        const int open = int(PortMapping::State::Open);
        QTest::newRow("off") << int(PortMapping::State::Off) << QString() << QString() << QString();
        QTest::newRow("asking") << int(PortMapping::State::Pending) << QString()
                                << "Asking the router for port 27403..." << QString();
        QTest::newRow("open") << open << "203.0.113.7"
                              << "Friends can join at 203.0.113.7:40001"
                              << "quadrell-server reachable at 203.0.113.7:40001 (PCP)";
        QTest::newRow("behind another NAT")
            << open << "100.72.0.9"
            << "The router opened 100.72.0.9:40001, but another router or the provider stands in "
               "front of it: friends on the internet probably cannot join"
            << "quadrell-server: the router opened 100.72.0.9:40001 (PCP), but that address is "
               "private: another router or the provider stands in front, so players on the "
               "internet probably cannot join";
        QTest::newRow("refused")
            << int(PortMapping::State::Refused) << ""
            << "The router did not open the port: only players on this network can join"
            << "quadrell-server not reachable from the internet: the router did not open port "
               "27403 (only players on the local network can join)";
    }

    void reachabilityLines() {
        QFETCH(int, state);
        QFETCH(QString, address);
        QFETCH(QString, lobby);
        QFETCH(QString, console);
        const bool open = state == int(PortMapping::State::Open);
        const PortMapping m{PortMapping::State(state), open ? "PCP" : "", QHostAddress(address),
                            27403, open ? 40001 : -1};
        QCOMPARE(Reachability::line(m, Reachability::Audience::Lobby), lobby);
        QCOMPARE(Reachability::line(m, Reachability::Audience::Console), console);
    }

    // Renewed at half the lifetime granted. Both given back when the server ends: test_endtoend.
    void renewedAndGivenBack() {
        Mapper m({{"PCP", FakePortMapMethod::grantAll(1)}});
        QTRY_VERIFY(m.settled());
        QCOMPARE(m.log->size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(m.log->size(), 4, 2000);
        QCOMPARE(m.log->mid(2), QStringList({"PCP ask TCP 27403", "PCP ask UDP 27403"}));
        QCOMPARE(m.changes->size(), 2);  // the same outcome is not told again
    }

    void gatewaySpeaksPcpAndGivesUpOnSilence() {
        FakeRouter router;
        int answers = 0;
        router.answer = [&](const QByteArray& d) -> QList<QByteArray> {
            if (d.size() != 60 || ++answers == 1) {
                return {QByteArray(4, 'x')};  // noise first
            }
            QByteArray strange = pcpAnswer(d, 0, 1, 60);
            strange[24] = 'T';  // another client's nonce
            return {strange, pcpAnswer(d, 0, 40000 + answers, 120)};
        };
        GatewayMethod pcp(QHostAddress::LocalHost, router.port(), kNonce, kFast);
        const MapAnswer a = askOnce(pcp, {MapProtocol::Tcp, 27403, 27403, 3600});
        QCOMPARE((QList<int>{a.granted, a.externalPort, a.lifetimeSeconds}),
                 (QList{1, 40002, 120}));
        QCOMPARE(a.publicAddress, kPublic);
        QCOMPARE(pcp.name(), "PCP");
        QCOMPARE(router.received.at(0).mid(8, 16).toHex().right(8), QByteArray("7f000001"));

        QSignalSpy idle(&pcp, &PortMapMethod::idle);
        pcp.release(MapProtocol::Tcp, 27403, 40002);
        QTRY_COMPARE(idle.size(), 1);
        QCOMPARE(router.received.last().mid(4, 4).toHex(), QByteArray("00000000"));
        QCOMPARE(router.received.last().mid(42, 2).toHex(), QByteArray("9c42"));

        // A router that falls silent: refused after the last send.
        router.answer = nullptr;
        router.received.clear();
        const MapAnswer none = askOnce(pcp, {MapProtocol::Tcp, 27403, 27403, 3600});
        QVERIFY(!none.granted && none.reason.contains("no answer"));
        QCOMPARE(router.received.size(), kFast.gatewaySends);
    }

    // A router that speaks only NAT-PMP says so to PCP; the same request goes again in NAT-PMP,
    // after asking for the public address.
    void gatewayFallsBackToNatPmp() {
        FakeRouter router;
        router.answer = [](const QByteArray& d) -> QList<QByteArray> {
            if (d.at(0) != 0) {
                return {QByteArray::fromHex("0081000100000001")};
            }
            if (d.size() == 2) {
                return {QByteArray::fromHex("008000000000000a0b162101")};
            }
            QByteArray a = QByteArray::fromHex("00000000") + QByteArray::fromHex("0000000a") +
                           d.mid(4, 4) + QByteArray::fromHex("00001c20");
            a[1] = char(0x80 | d.at(1));
            return {a};
        };
        GatewayMethod natPmp(QHostAddress::LocalHost, router.port(), kNonce, kFast);
        const MapAnswer a = askOnce(natPmp, {MapProtocol::Udp, 27403, 27403, 7200});
        QVERIFY(a.granted && a.externalPort == 27403 && a.publicAddress == kPublic);
        QCOMPARE(natPmp.name(), "NAT-PMP");
        // One PCP request, the address question, the mapping: resends of a slow answer repeat a
        // request but add no other kind.
        QList<QByteArray> asked = router.received;
        asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
        QCOMPARE(asked.size(), 3);
        QCOMPARE(int(asked.at(0).at(0)), 2);
        QCOMPARE(asked.at(1).toHex(), QByteArray("0000"));
        QCOMPARE(int(asked.at(2).at(1)), 1);
    }
};

QTEST_GUILESS_MAIN(TestPortMap)
#include "test_portmap.moc"
