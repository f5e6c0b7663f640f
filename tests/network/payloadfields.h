#pragma once

// A record's fields in order, so that a test compares it with one literal.
#include "network/connectionmessage.h"
#include "network/payloadcodec.h"

namespace payloadfields {

namespace C = PayloadCodec;
using Fields = QVariantList;

template <class T>
QVariant of(const T& v) {
    return QVariant::fromValue(v);
}
inline Fields fields(const C::Hello& r) {
    return {r.requestedId, r.players, r.hostKey, r.password};
}
inline Fields fields(const C::Players& r) {
    return {r.names, of(r.colors), of(r.status)};
}
inline Fields fields(const C::PlayerList& r) {
    return {of(r.connIds), r.names, of(r.colors), of(r.status)};
}
inline Fields fields(const C::ChatLine& r) {
    return {r.player, r.text};
}
inline Fields fields(const C::GameStart& r) {
    return {r.clientId, r.fieldsizeX, r.countDown};
}
inline Fields fields(const BlockRecord& r) {
    return {r.id, r.colour, r.kind, r.x, r.y, r.rotation};
}
inline Fields fields(const C::Pause& r) {
    return {r.clientId, r.countDown};
}
inline Fields fields(const C::GameOver& r) {
    return {r.score, r.lines, r.playtime};
}
inline Fields fields(const C::GameState& r) {
    return {r.fieldsizeX, r.paused, r.score, r.playtime, r.field, of(r.blocks)};
}
inline Fields fields(const C::Announcement& r) {
    return {r.version, r.port, r.ranked, r.time, r.digestValid};
}
// The messages' numbers in order, -1 for an unnumbered one.
inline QList<int> numbersOf(const QList<ConnectionMessage>& messages) {
    QList<int> out;
    for (const ConnectionMessage& m : messages) {
        out << m.number;
    }
    return out;
}
// A signal's arguments, each one of the Ts spelled out as its fields.
template <class... Ts>
Fields fieldsOfAny(const QVariantList& args) {
    Fields out;
    for (const QVariant& v : args) {
        const bool record =
            ((v.metaType() == QMetaType::fromType<Ts>() && (out += fields(v.value<Ts>()), true)) ||
             ...);
        if (!record) {
            out.append(v);
        }
    }
    return out;
}

}  // namespace payloadfields
