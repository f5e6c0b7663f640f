#pragma once

#include <QHash>
#include <QHostAddress>

// Token bucket per source address: a burst of `burst` requests, then one more
// every `refillMs`. The table is bounded; when it is full, idle buckets are
// dropped and, failing that, new addresses are refused.
class RateLimiter {
public:
    RateLimiter(int burst, int refillMs, int maxAddresses = 65536)
        : burst_(burst), refillMs_(refillMs), maxAddresses_(maxAddresses) {}

    bool allow(const QHostAddress& address, qint64 nowMs);
    int tracked() const { return static_cast<int>(buckets_.size()); }

private:
    struct Bucket {
        double tokens;
        qint64 lastMs;
    };
    void dropIdle(qint64 nowMs);

    int burst_;
    int refillMs_;
    int maxAddresses_;
    QHash<QString, Bucket> buckets_;
};
