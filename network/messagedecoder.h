#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include "network/connectionmessage.h"

// Cuts messages out of received bytes: bytes in, messages out, no sockets.
//
// Stream mode keeps what is left of an unfinished message for the next read;
// while anything is left, incomplete() is true and the socket wrapper runs its
// framing timer. A type word that is no code, a length word that is not a
// positive decimal number or a body longer than kMaxBodyBytes breaks the
// stream for good (failed()): nothing a peer sends later can re-align it, so
// the wrapper aborts the socket at once instead of buffering up to the limit.
//
// Datagram mode decodes every datagram on its own: whatever is incomplete or
// unrecognised is dropped with that datagram, and nothing carries over.
//
// Work and copying are linear in the bytes fed.
class MessageDecoder {
public:
    enum class Mode { Stream, Datagram };

    // The longest word (and body) the protocol accepts.
    static constexpr qsizetype kMaxBodyBytes = 1024000;

    explicit MessageDecoder(Mode mode) : mode_(mode) {}

    // Decodes bytes (one read of a stream, or one whole datagram) and appends
    // every complete message to out, in order. A failed stream ignores input.
    void feed(QByteArrayView bytes, QList<ConnectionMessage>& out);

    Mode mode() const { return mode_; }
    bool failed() const { return failed_; }
    // Part of a message is waiting for more bytes (stream mode only).
    bool incomplete() const { return type_ >= 0 || !buffer_.isEmpty(); }
    qsizetype bufferedBytes() const { return buffer_.size(); }
    void reset();

private:
    enum class Result { Done, NeedMore, Failed };

    Result parse(QByteArrayView data, qsizetype& pos, QList<ConnectionMessage>& out);

    Mode mode_;
    bool failed_ = false;
    int type_ = -1;         // code index of the message being read, -1 none
    qsizetype length_ = 0;  // its body length, 0 = not read yet
    QByteArray buffer_;     // unconsumed bytes of the stream
};
