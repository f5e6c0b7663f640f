#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The 37 message codes in one table, one row per code:
//
//   X(code, sender side, state a connection must be in to be heard, handler)
//
// The code is also its text on the wire. The sender side says who may send it:
// a client (heard only from peers that connected to us), a game server or the
// master server (heard only from peers we connected to), or both ("BRES",
// "SLNE"). The state names what the receiving record must be (see
// CodeNeeds); the handler hears the code once both checks passed
// (ConnectionCore::ignore: taken from the framing and dropped).
//
// An X-macro rather than a constexpr array: the framing at the bottom of the
// library needs the enum and the texts, while only the core's dispatch knows
// the handler classes. One list, each user expanding the columns it needs.
//
// The order is fixed: a received type word is compared against the codes in
// this order, and the enum, the texts and the dispatch are all indexed by it.
#define QUADRELL_MESSAGE_CODES(X)                                           \
    X(CHI, Client, Any, ServerCodes::processHello)                          \
    X(SHI, Server, Handshake, ClientCodes::processHelloReply)               \
    X(CPLR, Client, Playing, ServerCodes::processPlayers)                   \
    X(SPLR, Server, Playing, ClientCodes::processPlayerList)                \
    X(CMSG, Client, Established, ServerCodes::processChat)                  \
    X(SMSG, Server, Established, ClientCodes::processChat)                  \
    X(SPNG, Server, Playing, ClientCodes::processPingList)                  \
    X(CPNG, Client, Playing, ServerCodes::processPong)                      \
    X(CSRT, Client, Lobby, ServerCodes::processStartRequest)                \
    X(SSRT, Server, Playing, ClientCodes::processGameStart)                 \
    X(CRST, Client, InGame, ServerCodes::processRestartRequest)             \
    X(SRST, Server, InGame, ClientCodes::processGameRestart)                \
    X(SCST, Server, Lobby, ClientCodes::processGameState)                   \
    X(CINP, Client, InGame, ServerCodes::processInput)                      \
    X(SBLC, Server, InGame, ClientCodes::processNewBlock)                   \
    X(SMVE, Server, InGame, ClientCodes::processMoveBlocks)                 \
    X(SMRG, Server, InGame, ClientCodes::processMergeBlocks)                \
    X(SLNE, Both, Any, ConnectionCore::ignore)                              \
    X(CPSE, Client, InGame, ServerCodes::processPauseRequest)               \
    X(SPSE, Server, InGame, ClientCodes::processPause)                      \
    X(SSTP, Server, InGame, ClientCodes::processGameOver)                   \
    X(CDSC, Client, Playing, ServerCodes::processDisconnectRequest)         \
    X(SDSC, Server, Established, ClientCodes::processPlayerDisconnect)      \
    X(CKCK, Client, Playing, ServerCodes::processKickRequest)               \
    X(SKCK, Server, Playing, ClientCodes::processKick)                      \
    X(SSHD, Server, Established, ClientCodes::processShutdown)              \
    X(BRES, Both, Established, ConnectionCore::processResendRequest)        \
    X(SON, Server, Any, ConnectionCore::ignore) /* for the master server */ \
    X(SOF, Server, Any, ConnectionCore::ignore) /* for the master server */ \
    X(MON, Master, Any, MasterLink::processAnnouncementAnswer)              \
    X(MOF, Master, Any, MasterLink::processAnnouncementAnswer)              \
    X(CLS, Client, Any, ConnectionCore::ignore) /* for the master server */ \
    X(CTS, Client, Any, ConnectionCore::ignore) /* for the master server */ \
    X(MLS, Master, Any, MasterLink::processServerList)                      \
    X(MTS, Master, Any, MasterLink::processMasterTest)                      \
    X(CIN, Client, Any, ServerCodes::processInfoRequest)                    \
    X(SIN, Server, Any, MasterLink::processServerInfo)

enum class MessageCode {
#define QUADRELL_CODE_ENUM(code, side, needs, handler) code,
    QUADRELL_MESSAGE_CODES(QUADRELL_CODE_ENUM)
#undef QUADRELL_CODE_ENUM
};

// Who may send a code.
enum class CodeSide { Client, Server, Master, Both };

// What the receiving record must be for a code to be heard. Established
// means it passed the handshake (whatever its state since).
enum class CodeNeeds { Any, Handshake, Established, Playing, Lobby, InGame };

namespace MessageCodes {

inline constexpr std::size_t kCount = 0
#define QUADRELL_CODE_COUNT(code, side, needs, handler) +1
    QUADRELL_MESSAGE_CODES(QUADRELL_CODE_COUNT)
#undef QUADRELL_CODE_COUNT
    ;

struct Row {
    std::string_view text;
    CodeSide side;
    CodeNeeds needs;
};

inline constexpr std::array<Row, kCount> kRows{{
#define QUADRELL_CODE_ROW(code, side, needs, handler) {#code, CodeSide::side, CodeNeeds::needs},
    QUADRELL_MESSAGE_CODES(QUADRELL_CODE_ROW)
#undef QUADRELL_CODE_ROW
}};

constexpr const Row& row(MessageCode code) {
    return kRows[static_cast<std::size_t>(code)];
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

static_assert(kCount == 37, "the protocol has 37 codes");
static_assert(inWireOrder("CHI SHI CPLR SPLR CMSG SMSG SPNG CPNG CSRT SSRT CRST SRST SCST CINP "
                          "SBLC SMVE SMRG SLNE CPSE SPSE SSTP CDSC SDSC CKCK SKCK SSHD BRES "
                          "SON SOF MON MOF CLS CTS MLS MTS CIN SIN"),
              "the codes keep their fixed order");

}  // namespace MessageCodes
