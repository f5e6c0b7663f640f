// Every payload parser on arbitrary text: total, and stable when what it read
// is written again and read back.
#include <cstddef>
#include <cstdint>

#include "network/endpoint.h"
#include "network/payloadcodec.h"
#include "network/serverclaims.h"
#include "tests/fuzz/fuzzcheck.h"
#include "tests/network/payloadfields.h"

namespace Codec = PayloadCodec;
using namespace payloadfields;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const Codec::Hello hello = Codec::parseHello(text);
    check(fields(Codec::parseHello(Codec::buildHello(
              hello.requestedId, hello.players, hello.hostKey, hello.password))) == fields(hello));

    // What a returning client and the replay's pieces say read back as they were.
    const Codec::Rejoin rejoin = Codec::parseRejoin(text);
    const Codec::Rejoin rejoin2 = Codec::parseRejoin(Codec::buildRejoin(rejoin));
    check(rejoin.token.isEmpty() ||
          (rejoin2.clientId == rejoin.clientId && rejoin2.token == rejoin.token));
    check(Codec::parseSeatToken(text).isEmpty() || Codec::isSeatToken(text));
    const Codec::ReplayPiece piece = Codec::parseReplayPiece(text);
    check(piece.count == 0 ||
          Codec::parseReplayPiece(Codec::buildReplayPiece(piece)).data == piece.data);

    const Codec::HelloReply reply = Codec::parseHelloReply(text);
    const Codec::HelloReply reply2 =
        Codec::parseHelloReply(Codec::buildHelloReply(reply.clientId, reply.isHost));
    check(reply2.clientId == reply.clientId && reply2.isHost == reply.isHost);

    const Codec::Players players = Codec::parsePlayers(text);
    check(players.names.size() == 2 && players.colors.size() == 2 && players.status.size() == 2);
    const Codec::PlayerList list = Codec::parsePlayerList(text);
    check(list.connIds.size() == 4 && list.names.size() == 4);

    const Codec::ChatLine chat = Codec::parseChat(text);
    check(fields(Codec::parseChat(Codec::buildChat(chat.player, chat.text))) == fields(chat));

    const Codec::PingList pings = Codec::parsePingList(text);
    check(pings.connIds.size() == pings.pings.size());
    const Codec::PingList pings2 =
        Codec::parsePingList(Codec::buildPingList(pings.connIds, pings.pings));
    check(pings2.connIds == pings.connIds && pings2.pings == pings.pings);

    const Codec::GameStart start = Codec::parseGameStart(text);
    check(Codec::parseGameStart(
              Codec::buildGameStart(start.clientId, start.fieldsizeX, start.countDown))
              .countDown == start.countDown);
    check(Codec::parseNumber(Codec::buildNumber(Codec::parseNumber(text))) ==
          Codec::parseNumber(text));

    const Codec::GameState state = Codec::parseGameState(text);
    if (!state.playtime.contains(u' ') && !state.field.contains(' ')) {
        const Codec::GameState state2 =
            Codec::parseGameState(Codec::buildGameState(state.fieldsizeX, state.paused, state.score,
                                                        state.playtime, state.field, state.blocks));
        check(state2.fieldsizeX == state.fieldsizeX && state2.paused == state.paused &&
              state2.score == state.score && state2.blocks == state.blocks);
    }

    const QList<int> keys = Codec::parseInput(text);
    check(Codec::parseInput(Codec::buildInput(keys)) == keys);
    const Codec::BlockRecord block = Codec::parseNewBlock(text);
    check(Codec::parseNewBlock(Codec::buildNewBlock(block)) == block);

    const Codec::Moves moves = Codec::parseMoves(text);
    check(moves.activeIds.size() == 2);
    const Codec::Moves moves2 = Codec::parseMoves(
        Codec::buildMoves(moves.moves, moves.activeIds[0], moves.activeIds[1], moves.keysDone));
    check(moves2.moves == moves.moves && moves2.activeIds == moves.activeIds &&
          moves2.keysDone == moves.keysDone);
    const QList<Codec::MoveRecord> merges = Codec::parseMerges(text);
    check(Codec::parseMerges(Codec::buildMerges(merges)) == merges);

    const Codec::Pause pause = Codec::parsePause(text);
    check(Codec::parsePause(Codec::buildPause(pause.clientId, pause.countDown)).countDown ==
          pause.countDown);
    const Codec::GameOver over = Codec::parseGameOver(text);
    if (!over.playtime.contains(u' ')) {
        check(Codec::parseGameOver(Codec::buildGameOver(over.score, over.lines, over.playtime))
                  .playtime == over.playtime);
    }

    // What a server says, held to the game's ranges: within them, and what
    // is within them passes unchanged.
    const Codec::PlayerList heldList = ServerClaims::playerList(list);
    for (qsizetype i = 0; i < heldList.connIds.size(); ++i) {
        check(heldList.connIds[i] >= -1 && heldList.connIds[i] < Codec::kPlayerSlots &&
              heldList.names[i].size() <= 12);
    }
    check(fields(ServerClaims::playerList(heldList)) == fields(heldList));
    const Codec::GameState heldState = ServerClaims::gameState(state);
    check(heldState.fieldsizeX % 12 == 0 && heldState.fieldsizeX >= 12 &&
          heldState.fieldsizeX <= 48 && heldState.blocks.size() <= ServerClaims::kMaxBlocks &&
          heldState.field.size() <= heldState.fieldsizeX * 25 / 2);
    check(fields(ServerClaims::gameState(heldState)) == fields(heldState));
    const Codec::Moves heldMoves = ServerClaims::moves(moves);
    check(heldMoves.moves.size() <= ServerClaims::kMaxBlocks &&
          ServerClaims::moves(heldMoves).moves == heldMoves.moves);

    Codec::parseAnnouncement(text);
    Codec::parseServerList(text);
    if (const auto info = Codec::parseServerInfo(text)) {
        // A genuine description stays genuine when written again.
        const auto again = Codec::parseServerInfo(
            Codec::buildServerInfo(info->version, info->ranked, info->players, info->maxPlayers,
                                   info->hasPassword, info->name));
        check(again.has_value() && again->name == info->name);
    }

    // Joining by invite code: what was read is written and read back alike.
    if (const auto code = InviteCode::parse(text)) {
        check(InviteCode::parse(InviteCode::display(*code)) == code);
    }
    const Codec::Registration registration = Codec::parseRegistration(text);
    const Codec::Registration registration2 =
        Codec::parseRegistration(Codec::buildRegistration(registration));
    check(registration2.port == registration.port && registration2.token == registration.token &&
          registration2.online == registration.online &&
          registration2.relayStream == registration.relayStream);
    if (const auto answer = Codec::parseRegistrationAnswer(text)) {
        const auto again = Codec::parseRegistrationAnswer(Codec::buildRegistrationAnswer(*answer));
        check(again && again->code == answer->code && again->stream == answer->stream &&
              again->relay == answer->relay && again->relayPassword == answer->relayPassword);
    }
    if (const auto query = Codec::parseInviteQuery(text)) {
        const auto again = Codec::parseInviteQuery(Codec::buildInviteQuery(*query));
        check(again && again->nonce == query->nonce && again->port == query->port);
    }
    if (const auto invite = Codec::parseInviteAnswer(text)) {
        const auto again = Codec::parseInviteAnswer(Codec::buildInviteAnswer(*invite));
        check(invite->endpoints.size() <= Codec::kMaxEndpoints && again &&
              again->endpoints == invite->endpoints);
    }
    if (const auto notice = Codec::parseJoinerNotice(text)) {
        check(Codec::parseJoinerNotice(Codec::buildJoinerNotice(*notice))->endpoint ==
              notice->endpoint);
    }
    if (const auto ready = Codec::parseJoinerReady(text)) {
        check(Codec::parseJoinerReady(Codec::buildJoinerReady(*ready))->port == ready->port);
    }
    if (const auto way = JoinWay::parse(text)) {
        const auto again = JoinWay::parse(way->text());
        check(again && again->datagramPort == way->datagramPort && again->kind == way->kind);
    }
    Codec::parseInfoRequestNonce(text);
    Codec::provenServerInfo(text, QStringLiteral("ABCD2345"), QStringLiteral("0123456789abcdef"));
    return 0;
}
