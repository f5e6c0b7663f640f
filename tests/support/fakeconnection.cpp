#include "fakeconnection.h"

QList<QVariantList> CallLog::callsOf(const QString& op) const {
    QList<QVariantList> out;
    for (const Call& c : calls) {
        if (c.op == op) {
            out.append(c.args);
        }
    }
    return out;
}

QVariantList CallLog::last(const QString& op) const {
    const QList<QVariantList> all = callsOf(op);
    return all.isEmpty() ? QVariantList() : all.last();
}

QVariant CallLog::list(const QList<int>& values) {
    return QVariantList(values.begin(), values.end());
}

QVariant CallLog::list(const GameBlock& b) {
    return QVariantList{b.id(), b.colour(), b.kind(), b.x(), b.y(), b.rotation()};
}

QVariant CallLog::list(const QList<GameBlock*>& blocks) {
    QVariantList out;
    for (const GameBlock* b : blocks) {
        out.append(list(*b));
    }
    return out;
}

QVariant CallLog::list(const QList<BlockRecord>& blocks) {
    QVariantList out;
    for (const BlockRecord& b : blocks) {
        out.append(QVariant(QVariantList{b.id, b.colour, b.kind, b.x, b.y, b.rotation}));
    }
    return out;
}

void CallLog::record(const QString& op, const QVariantList& args) {
    calls.append({op, args});
    if (onCall) {
        onCall(calls.last());
    }
}
