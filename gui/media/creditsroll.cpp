#include "creditsroll.h"

#include <QFontMetricsF>
#include <QPainter>

#include "resources/resources.h"

namespace {

constexpr double kLineAdvance = 1.5;  // in line heights, also after each group
constexpr int kBlankLinesBeforeClosing = 3;
constexpr int kBackgroundAlpha = 191;
const QColor kHeadingColour(255, 255, 255);
const QColor kLineColour(85, 85, 85);

}  // namespace

CreditsRoll::CreditsRoll(QObject* parent) : QObject(parent), font_(Resources::fontFamily()) {
    font_.setPixelSize(18);
    font_.setBold(true);
}

QList<QStringList> CreditsRoll::groups() {
    return {
        {tr("Programming") + QStringLiteral(" & ") + tr("Design"), tr("The Quadrell team")},
        {tr("Beta-Tests"), tr("The Quadrell team"), tr("quadrell-bot (for the soak runs)")},
        {tr("Special Thanks"), tr("The Qt Project (for the toolkit)"),
         tr("The DejaVu font authors (for the letters)"),
         tr("The Mesa developers (for the software renderer)"),
         tr("Debian (for the system we build on)")},
        {tr("Used Libraries"), tr("Qt 6 - GNU Lesser General Public License, version 3"),
         tr("DejaVu fonts - Bitstream Vera Fonts licence")},
    };
}

QString CreditsRoll::closingLine() {
    return tr("Thanks for playing Quadrell!");
}

void CreditsRoll::restart() {
    frame_ = 0;
    finished_ = false;
}

double CreditsRoll::lineHeight() const {
    return QFontMetricsF(font_).height();
}

double CreditsRoll::endPosition(int height) const {
    int lines = kBlankLinesBeforeClosing + 1;
    const QList<QStringList> all = groups();
    for (const QStringList& group : all) {
        lines += static_cast<int>(group.size()) + 1;
    }
    return height - kPixelsPerTick * frame_ + lines * kLineAdvance * lineHeight();
}

void CreditsRoll::tick(int height) {
    if (finished_) {
        return;
    }
    ++frame_;
    if (endPosition(height) + 3 * lineHeight() < 0) {
        finished_ = true;
        emit finished();
    }
}

void CreditsRoll::paint(QPainter& painter, QSize size) const {
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.fillRect(QRect(QPoint(0, 0), size), QColor(0, 0, 0, kBackgroundAlpha));
    painter.setFont(font_);
    const double advance = kLineAdvance * lineHeight();
    double y = size.height() - kPixelsPerTick * frame_;
    auto line = [&](const QString& text, const QColor& colour) {
        if (y + advance > 0 && y < size.height()) {
            painter.setPen(colour);
            painter.drawText(QRectF(0, y, size.width(), lineHeight()), Qt::AlignHCenter, text);
        }
        y += advance;
    };
    const QList<QStringList> all = groups();
    for (const QStringList& group : all) {
        for (qsizetype i = 0; i < group.size(); ++i) {
            line(group[i], i == 0 ? kHeadingColour : kLineColour);
        }
        y += advance;
    }
    y += kBlankLinesBeforeClosing * advance;
    line(closingLine(), kHeadingColour);
    painter.restore();
}
