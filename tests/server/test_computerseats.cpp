// Computer players in the game server, on recording connections: seating and
// kicking them, computers taking over from players who leave a running game,
// and computers taking turns to plan and playing their parts.
#include <QTest>
#include <map>
#include <numeric>

#include "game/gamegrid.h"
#include "serverharness.h"

namespace {

using enum GamePlayer::PlayerStatus;

int presses(const GamePlayer& p) {
    return std::accumulate(p.keyDone().begin(), p.keyDone().end(), 0);
}

QList<int> decisions(const ComputerSeats& seats) {
    QList<int> out;
    for (int id : seats.ids()) {
        out << seats.player(id)->decisions();
    }
    return out;
}

}  // namespace

class TestComputerSeats : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void computersTakeFreePlacesAndGoWhenKicked() {
        HarnessOptions o;
        o.settings.computers = 2;
        o.settings.maxPlayers = 3;
        ServerHarness h(o);
        // Seated at the start under the lowest free ids, ready at once; alone
        // they never start a game.
        QCOMPARE(h.lastNames(), QStringList({"CPU_1", "CPU_2", "", ""}));
        QCOMPARE(h.stream->last("sendSPlayerlist")[1].toList(), ints({0, 1, -1, -1}));
        QCOMPARE(h.lastStatuses(), ints({Ready, Ready, Empty, Empty}));
        QCOMPARE(h.server->sessions().seats(), QList<int>({0, 1}));
        QCOMPARE(h.stream->count("sendSStart"), 0);

        // The places end at the server's limit, which a client that has not
        // named its player yet counts in.
        h.admit(2);
        h.server->addComputer();
        QCOMPARE(h.lastNames(), QStringList({"CPU_1", "CPU_2", "", ""}));
        QCOMPARE(h.server->sessions().seats(), QList<int>({0, 1}));

        // A kick removes one; the next takes the lowest number free.
        Q_EMIT h.stream->changedSPlayerKick(2, 0);
        QCOMPARE(h.stream->last("sendSKick"), QVariantList({true, 0}));
        QCOMPARE(h.server->sessions().seats(), QList<int>({1}));
        QCOMPARE(h.lastNames(), QStringList({"", "CPU_2", "", ""}));
        h.server->addComputer();
        QCOMPARE(h.lastNames(), QStringList({"CPU_1", "CPU_2", "", ""}));
        QCOMPARE(h.server->sessions().seats(), QList<int>({0, 1}));

        // With a person ready the game starts; none is added while it runs,
        // and after it the computers are ready again.
        Q_EMIT h.stream->changedSPlayerKick(2, 0);
        h.join(2, "Ann", Ready);
        QCOMPARE(h.stream->last("sendSStart"), QVariantList({true, 1, 24, 3}));
        h.server->addComputer();
        QCOMPARE(h.server->sessions().seats(), QList<int>({1}));
        Q_EMIT h.stream->changedSPlayerRestart(2);
        QCOMPARE(h.lastStatuses(), ints({Waiting, Ready, Empty, Empty}));
    }

    // The stand-in takes a free id first, the leaver's when no other is free.
    void leaverIsReplaced() {
        for (const auto& [connected, standInId] :
             {std::pair(QList<int>{0, 1, 2}, 3), std::pair(QList<int>{0, 1, 2, 3}, 1)}) {
            ServerHarness h;
            h.startPlaying(3);
            h.tick(5);
            const int colour = h.sim().player(1)->colour();
            for (int id : connected) {
                if (h.server->sessions().find(id) == nullptr) {
                    h.admit(id);
                }
            }
            Q_EMIT h.stream->changedSPlayerDisconnect(1);

            const GamePlayer& cpu = *h.sim().player(1);
            QCOMPARE((QVariantList{cpu.name(), cpu.connId(), int(cpu.status()), cpu.colour()}),
                     (QVariantList{"CPU_1", standInId, int(Playing), colour}));
            QCOMPARE(h.sim().activeBlockIds().count(-1), 8 - 3);  // three play, of eight places
            QCOMPARE(h.server->sessions().seats(), QList<int>({standInId}));
            QCOMPARE(h.datagram->last("sendSMessage"),
                     QVariantList({true, -4, "CPU_1 takes over for P1"}));
            // Its fresh block appears in the slot's own part, above the stack.
            QCOMPARE(GameGrid::column(36, cpu.currentBlock()->x()), 16);
            QCOMPARE(h.datagram->last("sendSNewBlock")[1].toList()[0].toInt(),
                     cpu.nextBlock()->id());
            // Between two people it reaches half a part into each of their parts.
            const ComputerSeats& seats = h.server->computers();
            QCOMPARE(seats.player(standInId)->neighbours(), (PartNeighbours{true, true}));

            // It plays on, and so does the game.
            const int firstBlock = cpu.currentBlock()->id();
            h.tick(400);
            QVERIFY(presses(cpu) > 0 && cpu.currentBlock()->id() > firstBlock && h.sim().running());

            // Each leaver but the last is replaced; the last ends the game, and
            // with it every stand-in goes.
            h.stream->gate->left(GameChannel::Stream, 0);
            Q_EMIT h.stream->changedSPlayerDisconnect(0);
            QCOMPARE(h.sim().playersInGame(), 3);
            QCOMPARE(h.lastNames(), QStringList({"CPU_2", "CPU_1", "P2", ""}));
            // A computer on its left now: there the narrow reach is enough.
            QCOMPARE(seats.player(standInId)->neighbours(), (PartNeighbours{false, true}));
            Q_EMIT h.stream->changedSPlayerDisconnect(2);
            QCOMPARE(h.stream->last("sendSRestart"), QVariantList({true, -1}));
            QVERIFY(!h.sim().running());
            QCOMPARE(h.lastNames(), QStringList({"", "", "", ""}));
            QCOMPARE(h.server->sessions().seats(), QList<int>());
        }
    }

    void computersTakeTurnsToPlan_data() {
        QTest::addColumn<int>("speed");
        QTest::addColumn<QList<QList<int>>>("plansPerTick");  // per computer, after each tick
        // A piece falls a row a second: those that wait lose nothing.
        QTest::newRow("slow") << 1 << QList<QList<int>>{{1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
        // A row a tick: a wait past the first press would cost a row.
        QTest::newRow("fastest") << GameSimulation::kMaxSpeed << QList<QList<int>>{{1, 1, 1}};
    }
    // Three computers get their first pieces in the same tick; later pieces
    // come as they come. Every piece lands where its last plan put it, and
    // none of them touches Ann's.
    void computersTakeTurnsToPlan() {
        QFETCH(int, speed);
        QFETCH(QList<QList<int>>, plansPerTick);
        HarnessOptions o;
        o.settings.computers = 3;
        o.settings.computerSkill = ComputerSkill::Hard;
        ServerHarness h(o);
        h.startPlaying({"Ann"}, 3);  // after the computers
        h.sim().setSpeed(speed);
        const ComputerSeats& seats = h.server->computers();
        std::map<int, PlacementPlanner::Choice> targets;  // by block id
        int landings = 0;
        int plans = 0;  // made in the last tick
        const auto tick = [&] {
            const QList<int> before = decisions(seats);
            QList<int> pieces;  // what each thinks about in this tick
            for (int slot = 0; slot < 3; ++slot) {
                pieces << h.block(slot).id();
            }
            const int merges = h.datagram->count("sendSMergeBlocks");
            h.tick();
            const QList<int> after = decisions(seats);
            plans = 0;
            for (int slot = 0; slot < 3; ++slot) {
                plans += after[slot] - before[slot];
                if (after[slot] != before[slot]) {
                    targets[pieces[slot]] = seats.player(slot)->target();
                }
            }
            for (const QVariantList& merge : h.datagram->callsOf("sendSMergeBlocks").mid(merges)) {
                for (const QVariant& record : merge[1].toList()) {
                    const QVariantList b = record.toList();  // id, colour, kind, x, y, rotation
                    const auto it = targets.find(b[0].toInt());
                    if (it != targets.end()) {
                        QCOMPARE(GameGrid::column(48, b[3].toInt()), it->second.column);
                        QCOMPARE(b[5].toInt(), it->second.rotation);
                        ++landings;
                    }
                }
            }
        };
        for (const QList<int>& planned : plansPerTick) {
            tick();
            QCOMPARE(decisions(seats), planned);
        }
        const bool slow = speed == 1;
        for (int t = 0; t < (slow ? 300 : 40) && h.sim().running(); ++t) {
            tick();
            QVERIFY(!QTest::currentTestFailed() && (!slow || plans <= 1));
        }
        QVERIFY(landings > (slow ? 20 : 6));
        QCOMPARE(presses(*h.sim().player(3)), 0);
    }
};

QTEST_GUILESS_MAIN(TestComputerSeats)
#include "test_computerseats.moc"
