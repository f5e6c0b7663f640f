// Cost of the protocol: cutting small messages out of one large buffer and out
// of many small reads, encoding them, and one game-state snapshot of the
// widest field built and parsed.
#include <benchmark/benchmark.h>

#include "game/gameblock.h"
#include "network/connectionmessage.h"
#include "network/fieldimage.h"
#include "network/messagedecoder.h"
#include "network/payloadcodec.h"

namespace {

namespace Codec = PayloadCodec;

// A move message of four blocks, as the server sends every tick.
ConnectionMessage moveMessage(int number) {
    const QList<Codec::MoveRecord> moves{
        {11, 600, 1250, 1}, {12, 1200, 900, 0}, {13, -50, 450, 3}, {14, 2350, 100, 2}};
    return ConnectionMessage(MessageCode::SMVE, Codec::buildMoves(moves, 11, -1), number);
}

QByteArray stream(int messages) {
    QByteArray out;
    for (int i = 0; i < messages; ++i) {
        moveMessage(i % 2 == 0 ? -1 : i).encodeTo(out);
    }
    return out;
}

void BM_DecodeOneBuffer(benchmark::State& state) {
    const QByteArray bytes = stream(static_cast<int>(state.range(0)));
    QList<ConnectionMessage> out;
    out.reserve(state.range(0));
    for (auto _ : state) {
        MessageDecoder decoder(MessageDecoder::Mode::Stream);
        out.clear();
        decoder.feed(bytes, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_DecodeOneBuffer)->Arg(1000)->Arg(10000)->Arg(100000);

// The same bytes arriving in reads of a fixed size, cutting headers and
// bodies at every possible place.
void BM_DecodeManyReads(benchmark::State& state) {
    const QByteArray bytes = stream(10000);
    const qsizetype chunk = state.range(0);
    QList<ConnectionMessage> out;
    out.reserve(10000);
    for (auto _ : state) {
        MessageDecoder decoder(MessageDecoder::Mode::Stream);
        out.clear();
        for (qsizetype at = 0; at < bytes.size(); at += chunk) {
            decoder.feed(QByteArrayView(bytes).sliced(at, std::min(chunk, bytes.size() - at)), out);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_DecodeManyReads)->Arg(7)->Arg(64)->Arg(1500);

// One datagram per message, as the server's shared socket sees them.
void BM_DecodeDatagrams(benchmark::State& state) {
    QList<QByteArray> datagrams;
    for (int i = 0; i < 10000; ++i) {
        datagrams.append(moveMessage(i).encode());
    }
    QList<ConnectionMessage> out;
    out.reserve(10000);
    for (auto _ : state) {
        MessageDecoder decoder(MessageDecoder::Mode::Datagram);
        out.clear();
        for (const QByteArray& datagram : datagrams) {
            decoder.feed(datagram, out);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_DecodeDatagrams);

void BM_EncodeMove(benchmark::State& state) {
    const QList<Codec::MoveRecord> moves{
        {11, 600, 1250, 1}, {12, 1200, 900, 0}, {13, -50, 450, 3}, {14, 2350, 100, 2}};
    QByteArray out;
    int number = 0;
    for (auto _ : state) {
        out.clear();
        ConnectionMessage(MessageCode::SMVE, Codec::buildMoves(moves, 11, -1), ++number)
            .encodeTo(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeMove);

void BM_ParseMove(benchmark::State& state) {
    const QString payload = moveMessage(1).content;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Codec::parseMoves(payload));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseMove);

// A late joiner's snapshot of a full 48-column field with four falling blocks.
void BM_GameState48(benchmark::State& state) {
    GameBlock field(0, 0, 0, 48);
    for (int row = 0; row < 20; ++row) {
        for (int column = 0; column < 48; column += 1 + row % 3) {
            field.addBox(GameBox(column % 6, {column * 50, column * 50, column * 50, column * 50},
                                 {row * 50, row * 50, row * 50, row * 50}, 48));
        }
    }
    const QList<Codec::BlockRecord> blocks{{21, 0, 1, 200, 1250, 0},
                                           {22, 1, 2, 800, 1300, 1},
                                           {23, 2, 3, 1400, 1250, 2},
                                           {24, 3, 6, 2000, 1850, 3}};
    for (auto _ : state) {
        const QByteArray packed = FieldImage::pack(field, 48);
        const QByteArray packet =
            ConnectionMessage(MessageCode::SCST,
                              Codec::buildGameState(48, false, 12345, "00512", packed, blocks), 7)
                .encode();
        MessageDecoder decoder(MessageDecoder::Mode::Stream);
        QList<ConnectionMessage> out;
        decoder.feed(packet, out);
        const Codec::GameState parsed = Codec::parseGameState(out.front().content);
        benchmark::DoNotOptimize(FieldImage::unpack(parsed.field, parsed.fieldsizeX));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GameState48);

}  // namespace

BENCHMARK_MAIN();
