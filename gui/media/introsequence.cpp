#include "introsequence.h"

#include <QFont>
#include <QPainter>
#include <cmath>

#include "resources/resources.h"
#include "soundeffects.h"

namespace {

constexpr int kStep = IntroBox::kSize;
constexpr int kBackgroundAlpha = 191;

// Pixels above the resting place, in whole steps, for a fall that has `left`
// (1 at the start, 0 at the end) still to go.
int fallHeight(double left, int height) {
    return -kStep * static_cast<int>(std::floor(left * (height / 2 + 150) / kStep));
}

}  // namespace

IntroSequence::IntroSequence(QObject* parent) : QObject(parent) {}

IntroSequence::~IntroSequence() = default;

const IntroBlock* IntroSequence::block(int id) const {
    return id == 0 || id == 1 ? blocks_[static_cast<std::size_t>(id)].get() : nullptr;
}

void IntroSequence::tick(int height) {
    if (finished_) {
        return;
    }
    const int f = frame_;
    if (f < 0) {
        blocks_[0] = std::make_unique<IntroBlock>(0, 0, 0, 0, -150 - height / 2, 3);
        blocks_[1] = std::make_unique<IntroBlock>(1, 1, 1, 150, -150 - height / 2, 1);
    } else if (f <= 99) {
        blocks_[0]->setPosition(0, fallHeight((99 - f) / 99.0, height), f < 50 ? 3 : 0);
        if (f == 99) {
            emit soundRequested(Sound::Land);
        }
    } else if (f <= 199) {
        // The second piece also slides in from the right while it falls.
        const double left = (199 - f) / 99.0;
        blocks_[1]->setPosition(-kStep * static_cast<int>(std::floor(2 * left)),
                                fallHeight(left, height), 0);
        if (f == 199) {
            emit soundRequested(Sound::Land);
        }
    } else if (f == 300) {
        emit soundRequested(Sound::Point);
    } else if (f >= kMenuFrame) {
        finished_ = true;
        emit finished();
        return;
    }
    ++frame_;
}

void IntroSequence::paint(QPainter& painter, QSize size) const {
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const int f = frame_;
    int grey = 0;
    if (f >= 250 && f <= 349) {
        grey = static_cast<int>(std::lround((1.0 - std::abs(f - 300) / 50.0) * 255));
    }
    painter.fillRect(QRect(QPoint(0, 0), size), QColor(grey, grey, grey, kBackgroundAlpha));

    const int centreY = size.height() / 2;
    if (f >= 300) {
        QFont font(Resources::fontFamily());
        font.setPixelSize(40);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size.width(), centreY + 185),
                         Qt::AlignHCenter | Qt::AlignBottom,
                         //: The program's name, shown at the end of the intro.
                         tr("Quadrell"));
    }
    const QPoint origin(size.width() / 2 - 150, centreY + 115);
    for (const auto& block : blocks_) {
        if (block) {
            block->paint(painter, origin);
        }
    }
    painter.restore();
}
