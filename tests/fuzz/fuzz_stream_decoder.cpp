// Framing decoder on arbitrary bytes: never crashes, never holds more than one
// message's worth, and gives the same messages however the bytes are split.
#include <cstddef>
#include <cstdint>

#include "network/connectionmessage.h"
#include "network/messagedecoder.h"
#include "tests/fuzz/fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the read size; the rest is the stream.
    const qsizetype chunk = 1 + data[0] % 64;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 1),
                               static_cast<qsizetype>(size - 1));

    MessageDecoder whole(MessageDecoder::Mode::Stream);
    QList<ConnectionMessage> inOne;
    whole.feed(bytes, inOne);

    MessageDecoder pieces(MessageDecoder::Mode::Stream);
    QList<ConnectionMessage> inPieces;
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        pieces.feed(bytes.sliced(at, std::min(chunk, bytes.size() - at)), inPieces);
        // Header words are short and a body never exceeds the limit.
        check(pieces.bufferedBytes() <= MessageDecoder::kMaxBodyBytes + 16);
    }
    check(inOne == inPieces);
    check(whole.failed() == pieces.failed());
    check(whole.incomplete() == pieces.incomplete());

    // What was decoded encodes to a packet that decodes to the same message.
    for (const ConnectionMessage& message : inOne) {
        check(message.code() >= 0);
        MessageDecoder again(MessageDecoder::Mode::Stream);
        QList<ConnectionMessage> out;
        again.feed(message.encode(), out);
        check(out.size() == 1 && out.front() == message);
        check(!again.incomplete());
    }

    // As one datagram: nothing is kept afterwards.
    MessageDecoder datagram(MessageDecoder::Mode::Datagram);
    QList<ConnectionMessage> fromDatagram;
    datagram.feed(bytes, fromDatagram);
    check(!datagram.incomplete());
    check(fromDatagram.size() <= inOne.size() + 1);
    return 0;
}
