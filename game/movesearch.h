#pragma once

#include <vector>

#include "fieldboard.h"

// Where a falling piece can still get to, and how: a breadth-first search over
// rotation and column in which every press costs time, and time costs height.
// A press is carried out at most every few ticks while gravity keeps pulling
// the piece down, so each step of a path is checked where the piece will be
// then: the cells it turns or steps into and every row it falls through until
// the next press must be free of landed boxes and of other falling blocks.
class MoveSearch {
public:
    struct Timing {
        int speed = 1;             // fall per tick in position units
        int firstPressTicks = 0;   // ticks until the first press is carried out
        int intervalTicks = 3;     // ticks between presses
        bool combineKeys = false;  // a turn and a step with the same press
    };
    struct Start {
        int kind = 0;
        int rotation = 0;
        int column = 0;
        int y = 0;  // position units, as the block stands
    };
    struct Move {
        bool rotate = false;
        int step = 0;  // +1 one column right, -1 left
    };
    struct Node {
        int column = 0;
        int rotation = 0;
        int slot = -1;  // the press that brought it here; -1: where it starts
        int parent = -1;
        Move move;
        int y = 0;             // where it stands after that press
        int landingRow = 0;    // frame row a drop from here ends on
        bool canLand = false;  // that drop ends on the stack or the floor, not on a block
    };

    MoveSearch(const PieceMasks& masks, const FieldBoard& board) : masks_(masks), board_(board) {}

    // Every place the piece can reach, nearest first; the first node is the
    // start.
    const std::vector<Node>& explore(const Start& start, const Timing& timing);
    const std::vector<Node>& nodes() const { return nodes_; }
    // The node standing at (rotation, column) after the last explore, or -1.
    int find(int rotation, int column) const;
    // The first press on the way to a node; none for the start.
    Move firstMove(int node) const;

private:
    bool survives(int kind, const Node& n, int below) const;

    const PieceMasks& masks_;
    const FieldBoard& board_;
    std::vector<Node> nodes_;
    std::vector<int> index_;
};
