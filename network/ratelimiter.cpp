#include "ratelimiter.h"

#include <algorithm>

bool RateLimiter::allow(const QHostAddress& address, qint64 nowMs) {
    const QString k = address.toString();
    auto it = buckets_.find(k);
    if (it == buckets_.end()) {
        if (buckets_.size() >= maxAddresses_) {
            dropIdle(nowMs);
            if (buckets_.size() >= maxAddresses_) {
                return false;
            }
        }
        it = buckets_.insert(k, Bucket{static_cast<double>(burst_), nowMs});
    }
    Bucket& b = *it;
    const qint64 elapsed = std::max<qint64>(0, nowMs - b.lastMs);
    b.tokens = std::min<double>(burst_, b.tokens + static_cast<double>(elapsed) / refillMs_);
    b.lastMs = nowMs;
    if (b.tokens < 1.0) {
        return false;
    }
    b.tokens -= 1.0;
    return true;
}

void RateLimiter::dropIdle(qint64 nowMs) {
    // A bucket that would be full again holds no information.
    const qint64 idleMs = static_cast<qint64>(burst_) * refillMs_;
    for (auto it = buckets_.begin(); it != buckets_.end();) {
        it = (nowMs - it->lastMs >= idleMs) ? buckets_.erase(it) : std::next(it);
    }
}
