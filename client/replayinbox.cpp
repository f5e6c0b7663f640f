#include "client/replayinbox.h"

#include "game/replayfile.h"
#include "network/payloadcodec.h"

ReplayInbox::ReplayInbox(QString folder, Now now)
    : folder_(std::move(folder)), now_(std::move(now)) {
    if (!now_) {
        now_ = [] { return QDateTime::currentDateTime(); };
    }
}

void ReplayInbox::expect(int score) {
    score_ = score;
    count_ = 0;
    bytes_.clear();
}

bool ReplayInbox::take(int index, int count, const QByteArray& data) {
    const qsizetype expected = qsizetype(index) * PayloadCodec::kReplayPieceBytes;
    const bool fits = score_ >= 0 && count > 0 &&
                      qsizetype(count) * PayloadCodec::kReplayPieceBytes <=
                          ReplayFile::kMaxBytes + PayloadCodec::kReplayPieceBytes &&
                      (index == 0 ? bytes_.isEmpty() : count == count_) &&
                      bytes_.size() == expected;
    if (!fits) {
        score_ = -1;
        return false;
    }
    count_ = count;
    bytes_ += data;
    if (index + 1 < count) {
        return true;
    }
    const int score = score_;
    score_ = -1;
    // Only a whole game of the score that was heard is kept.
    const ReplayFile::ReadResult read = ReplayFile::read(bytes_);
    if (!read.replay || read.replay->result.score != score || folder_.isEmpty()) {
        return read.replay.has_value();
    }
    lastFile_ = ReplayFile::store(folder_, bytes_, score, now_());
    return true;
}
