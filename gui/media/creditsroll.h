#pragma once

#include <QFont>
#include <QObject>
#include <QSize>
#include <QStringList>

class QPainter;

// The scrolling credits: groups of lines (a white heading, grey names) that
// rise 2 pixels per tick of the widget's 20 ms intro timer, then a closing
// line. finished() comes once the whole text has left the top.
class CreditsRoll : public QObject {
    Q_OBJECT

public:
    static constexpr int kPixelsPerTick = 2;

    explicit CreditsRoll(QObject* parent = nullptr);

    // The widget's small menu font at its current scale; a bold 18 px font of
    // the bundled family until it is set.
    void setFont(const QFont& font) { font_ = font; }
    const QFont& font() const { return font_; }

    // Back to the start below the bottom edge ("About" chosen again).
    void restart();
    // One step; `height` is the widget's height in pixels.
    void tick(int height);
    void paint(QPainter& painter, QSize size) const;

    int frame() const { return frame_; }
    bool isFinished() const { return finished_; }

    // Each group's first line is its heading. Translated.
    static QList<QStringList> groups();
    static QString closingLine();

signals:
    void finished();

private:
    // Where the line after the last one would start, for a widget of `height`.
    double endPosition(int height) const;
    double lineHeight() const;

    QFont font_;
    int frame_ = 0;
    bool finished_ = false;
};
