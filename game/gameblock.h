#pragma once

#include <QObject>
#include <vector>

#include "gamebox.h"
#include "randomsource.h"

struct Rgb {
    int red;
    int green;
    int blue;
};

// A piece of four boxes, or (kind -1) a block without shape such as the field
// block that collects every landed box. Positions are the lower left corner of a
// 4 x 4 cell frame in position units.
class GameBlock : public QObject {
    Q_OBJECT

public:
    static constexpr int kNoKind = -1;
    static constexpr int kKinds = 7;
    static constexpr int kColours = 7;  // players use 0..5, 6 is the default box colour

    // A block of the given kind; a kind outside 0..6 gives a block without boxes.
    GameBlock(int id, int colour, int kind, int x, int y, int rotation, int fieldsizeX,
              QObject* parent = nullptr);
    // A random block: the rotation is drawn first, then the kind.
    GameBlock(int id, int colour, int x, int y, int fieldsizeX, RandomSource& random,
              QObject* parent = nullptr);
    // A block without shape (the field block).
    GameBlock(int id, int x, int y, int fieldsizeX, QObject* parent = nullptr);
    explicit GameBlock(QObject* parent = nullptr);
    ~GameBlock() override;

    int id() const { return id_; }
    int x() const { return x_; }
    int y() const { return y_; }
    int kind() const { return kind_; }
    int rotation() const { return rotation_; }
    int colour() const { return colour_; }
    int fieldsizeX() const { return fieldsizeX_; }
    const std::vector<GameBox>& boxes() const { return boxes_; }

    void setPosition(int x, int y, int rotation);
    void removeLine(int row);
    void addBoxesOf(const GameBlock& other);
    void addBox(const GameBox& box) { boxes_.push_back(box); }

    static Rgb colourRgb(int colour);

protected:
    virtual void buildBoxes();
    // For blocks that build their own layout (the intro's logo pieces).
    void setBoxes(std::vector<GameBox> boxes) { boxes_ = std::move(boxes); }

private:
    int id_ = -1;
    int x_ = -1;
    int y_ = -1;
    int kind_ = kNoKind;
    int rotation_ = 0;
    int colour_ = -1;
    std::vector<GameBox> boxes_;
    int fieldsizeX_ = -1;
};
