#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The 47 message codes in one table, one row per code:
//
//   X(code, sender side, state a connection must be in to be heard, channel,
//     handler)
//
// The code is also its text on the wire. The sender side says who may send it:
// a client (heard only from peers that connected to us), a game server or the
// master server (heard only from peers we connected to), or both ("BRES",
// "SLNE"). The state names what the receiving record must be (see
// CodeNeeds). The channel says which of a player's two connections carries
// it: the stream, the datagrams, both (the codes that move a client's
// connections between the lobby and a game, which each of them must hear),
// or whichever connection it answers or belongs to (Own). The handler hears
// the code once both checks passed (ConnectionCore::ignore: taken from the
// framing and dropped).
//
// An X-macro rather than a constexpr array: the framing at the bottom of the
// library needs the enum and the texts, while only the core's dispatch knows
// the handler classes. One list, each user expanding the columns it needs.
//
// The order is fixed: a received type word is compared against the codes in
// this order, and the enum, the texts and the dispatch are all indexed by it.
#define QUADRELL_MESSAGE_CODES(X)                                                \
    X(CHI, Client, Any, Both, ServerCodes::processHello)                         \
    X(SHI, Server, Handshake, Own, ClientCodes::processHelloReply)               \
    X(CPLR, Client, Playing, Stream, ServerCodes::processPlayers)                \
    X(SPLR, Server, Playing, Stream, ClientCodes::processPlayerList)             \
    X(CMSG, Client, Established, Datagram, ServerCodes::processChat)             \
    X(SMSG, Server, Established, Datagram, ClientCodes::processChat)             \
    X(SPNG, Server, Playing, Own, ClientCodes::processPingList)                  \
    X(CPNG, Client, Playing, Own, ServerCodes::processPong)                      \
    X(CSRT, Client, Lobby, Stream, ServerCodes::processStartRequest)             \
    X(SSRT, Server, Playing, Both, ClientCodes::processGameStart)                \
    X(CRST, Client, InGame, Stream, ServerCodes::processRestartRequest)          \
    X(SRST, Server, InGame, Both, ClientCodes::processGameRestart)               \
    X(SCST, Server, Lobby, Both, ClientCodes::processGameState)                  \
    X(CINP, Client, InGame, Datagram, ServerCodes::processInput)                 \
    X(SBLC, Server, InGame, Datagram, ClientCodes::processNewBlock)              \
    X(SMVE, Server, InGame, Datagram, ClientCodes::processMoveBlocks)            \
    X(SMRG, Server, InGame, Datagram, ClientCodes::processMergeBlocks)           \
    X(SLNE, Both, Any, Own, ConnectionCore::ignore)                              \
    X(CPSE, Client, InGame, Stream, ServerCodes::processPauseRequest)            \
    X(SPSE, Server, InGame, Stream, ClientCodes::processPause)                   \
    X(SSTP, Server, InGame, Both, ClientCodes::processGameOver)                  \
    X(CDSC, Client, Playing, Both, ServerCodes::processDisconnectRequest)        \
    X(SDSC, Server, Established, Both, ClientCodes::processPlayerDisconnect)     \
    X(CKCK, Client, Playing, Stream, ServerCodes::processKickRequest)            \
    X(SKCK, Server, Playing, Both, ClientCodes::processKick)                     \
    X(SSHD, Server, Established, Both, ClientCodes::processShutdown)             \
    X(BRES, Both, Established, Own, ConnectionCore::processResendRequest)        \
    X(SON, Server, Any, Own, ConnectionCore::ignore) /* for the master server */ \
    X(SOF, Server, Any, Own, ConnectionCore::ignore) /* for the master server */ \
    X(MON, Master, Any, Own, MasterLink::processAnnouncementAnswer)              \
    X(MOF, Master, Any, Own, MasterLink::processAnnouncementAnswer)              \
    X(CLS, Client, Any, Own, ConnectionCore::ignore) /* for the master server */ \
    X(CTS, Client, Any, Own, ConnectionCore::ignore) /* for the master server */ \
    X(MLS, Master, Any, Own, MasterLink::processServerList)                      \
    X(MTS, Master, Any, Own, MasterLink::processMasterTest)                      \
    X(CIN, Client, Any, Own, ServerCodes::processInfoRequest)                    \
    X(SIN, Server, Any, Own, MasterLink::processServerInfo)                      \
    X(SRG, Server, Any, Own, ConnectionCore::ignore) /* for the master server */ \
    X(MRG, Master, Any, Own, MasterLink::processRegistrationAnswer)              \
    X(CJN, Client, Any, Own, ConnectionCore::ignore) /* for the master server */ \
    X(MJN, Master, Any, Own, MasterLink::processInviteAnswer)                    \
    X(MPN, Master, Any, Own, MasterLink::processJoinerNotice)                    \
    X(SPN, Server, Any, Own, ConnectionCore::ignore) /* for the master server */ \
    X(STK, Server, Established, Stream, ClientCodes::processSeatToken)           \
    X(CRJ, Client, Any, Stream, ServerCodes::processRejoin)                      \
    X(CRP, Client, Established, Stream, ServerCodes::processReplayRequest)       \
    X(SRP, Server, Established, Stream, ClientCodes::processReplayPiece)

enum class MessageCode {
#define QUADRELL_CODE_ENUM(code, side, needs, channel, handler) code,
    QUADRELL_MESSAGE_CODES(QUADRELL_CODE_ENUM)
#undef QUADRELL_CODE_ENUM
};

// Who may send a code.
enum class CodeSide { Client, Server, Master, Both };

// What the receiving record must be for a code to be heard. Established
// means it passed the handshake (whatever its state since).
enum class CodeNeeds { Any, Handshake, Established, Playing, Lobby, InGame };

// Which of a player's connections carries a code.
enum class CodeChannel { Stream, Datagram, Both, Own };

namespace MessageCodes {

inline constexpr std::size_t kCount = 0
#define QUADRELL_CODE_COUNT(code, side, needs, channel, handler) +1
    QUADRELL_MESSAGE_CODES(QUADRELL_CODE_COUNT)
#undef QUADRELL_CODE_COUNT
    ;

struct Row {
    std::string_view text;
    CodeSide side;
    CodeNeeds needs;
    CodeChannel channel;
};

inline constexpr std::array<Row, kCount> kRows{{
#define QUADRELL_CODE_ROW(code, side, needs, channel, handler) \
    {#code, CodeSide::side, CodeNeeds::needs, CodeChannel::channel},
    QUADRELL_MESSAGE_CODES(QUADRELL_CODE_ROW)
#undef QUADRELL_CODE_ROW
}};

constexpr const Row& row(MessageCode code) {
    return kRows[static_cast<std::size_t>(code)];
}

// Runs send(channel) for each of a player's two channels that carries code:
// the stream, the datagram path, or both. Codes a channel says of its own
// accord (Own) are nobody's to route.
template <typename Channel, typename Send>
void onChannels(MessageCode code, Channel& stream, Channel& datagram, Send send) {
    const CodeChannel channel = row(code).channel;
    if (channel == CodeChannel::Stream || channel == CodeChannel::Both) {
        send(stream);
    }
    if (channel == CodeChannel::Datagram || channel == CodeChannel::Both) {
        send(datagram);
    }
}

// The codes joined with single spaces, to hold the table to the wire order.
constexpr bool inWireOrder(std::string_view expected) {
    std::size_t at = 0;
    for (const Row& r : kRows) {
        if (expected.substr(at, r.text.size()) != r.text) {
            return false;
        }
        at += r.text.size();
        if (at < expected.size() && expected[at++] != ' ') {
            return false;
        }
    }
    return at == expected.size();
}

static_assert(kCount == 47, "the protocol has 47 codes");
static_assert(
    inWireOrder("CHI SHI CPLR SPLR CMSG SMSG SPNG CPNG CSRT SSRT CRST SRST SCST CINP "
                "SBLC SMVE SMRG SLNE CPSE SPSE SSTP CDSC SDSC CKCK SKCK SSHD BRES "
                "SON SOF MON MOF CLS CTS MLS MTS CIN SIN SRG MRG CJN MJN MPN SPN STK CRJ CRP SRP"),
    "the codes keep their fixed order");

}  // namespace MessageCodes
