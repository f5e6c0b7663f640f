#pragma once

#include <QList>
#include <QMetaType>

class GameBlock;

// The values that tell a copy of the field what the server's field did. They
// travel from the network to the client and the view by value, so nobody has
// to ask who deletes them.

// Where one block stands after a move or a merge.
struct GameMovement {
    int id = 0;  // the block's
    int x = 0;
    int y = 0;
    int rotation = 0;

    static GameMovement of(const GameBlock& block);
    // One record per block, in order, none for a null one: what a client
    // receives for them.
    static QList<GameMovement> of(const QList<GameBlock*>& blocks);
    friend bool operator==(const GameMovement&, const GameMovement&) = default;
};

// A block as the server deals it: a piece, or (id 0) the field block that
// begins a new field.
struct BlockRecord {
    int id = 0;
    int colour = 0;
    int kind = 0;
    int x = 0;
    int y = 0;
    int rotation = 0;

    static BlockRecord of(const GameBlock& block);
    friend bool operator==(const BlockRecord&, const BlockRecord&) = default;
};

// One landed box of a field that a late joiner is sent.
struct FieldCell {
    int column = 0;
    int row = 0;
    int colour = 0;
    friend bool operator==(const FieldCell&, const FieldCell&) = default;
};

Q_DECLARE_METATYPE(GameMovement)
Q_DECLARE_METATYPE(BlockRecord)
Q_DECLARE_METATYPE(FieldCell)
