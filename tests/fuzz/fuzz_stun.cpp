// The relay's STUN reader on arbitrary bytes: it never reads past what it is
// given, sizeOf agrees with parse, and whatever it reads it writes back to
// the same message.
#include <cstddef>
#include <cstdint>

#include "relay/stunmessage.h"
#include "tests/fuzz/fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype claimed = StunMessage::sizeOf(bytes);
    const std::optional<StunMessage> m = StunMessage::parse(bytes);
    if (!m) {
        return 0;
    }
    check(claimed == bytes.size());
    for (const auto& [type, value] : m->attributes) {
        (void)m->address(type);
        (void)m->number(type);
    }
    (void)m->errorCode();
    (void)m->errorText();
    const std::optional<StunMessage> again = StunMessage::parse(m->encode());
    check(again && again->method == m->method && again->kind == m->kind &&
          again->transaction == m->transaction && again->attributes == m->attributes);
    return 0;
}
