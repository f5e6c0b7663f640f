#pragma once

#include <GL/gl.h>

#include <vector>

// Vertex data of the scene's fixed meshes, built on the CPU and handed to a
// GlMesh. Every mesh is drawn inside the scene's scale of 0.025, so normals are
// stored with length 0.025 and come out of that scale as unit normals.
struct MeshData {
    static constexpr int kFloats = 8;  // position 3, normal 3, texture 2
    static constexpr float kNormalLength = 0.025f;

    // A run of indices drawn in one colour (an index of the box colours).
    struct Part {
        int colour;
        int first;
        int count;
    };

    GLenum mode = GL_TRIANGLES;
    std::vector<float> vertices;
    std::vector<GLuint> indices;
    std::vector<Part> parts;  // none: one mesh in the caller's colour

    int vertexCount() const { return int(vertices.size()) / kFloats; }
};

namespace SceneMeshes {

// Cell-sized box, -0.5 to 0.5 on each axis: a plain cube at quality 0, a
// bevelled box (6 faces, 12 edge quads, 8 corner triangles) above.
MeshData box(int quality);

// A landed box: its cell on the ring and its colour index.
struct Cell {
    int column;
    int row;
    int colour;
};
// Every landed box in one mesh, placed on the ring of fieldsizeX columns, in
// one part per colour. Faces that neighbouring boxes cover are left out: a full stack
// shows little more than its inner and outer skin.
MeshData stack(const std::vector<Cell>& cells, int fieldsizeX, int quality);
// The cube's twelve edges as lines: the target marker's landing place.
MeshData wireBox();
// A glass wall around the field of fieldsizeX columns, one quad per column,
// from height -0.5 to 24.5, its front (and normals) facing the axis.
MeshData fieldWall(int fieldsizeX, float radius);
// The grey square on the floor in front of column 0.
MeshData baseTile(float radius);
// Floor and four walls of the room, facing inwards, textured in grid units.
MeshData plainRoom();

// Radius of a ring of fieldsizeX unit columns.
float fieldRadius(int fieldsizeX);
// The glass walls: the inner one just inside the boxes, the outer one with
// each flat segment just outside a box's outer face.
float innerWallRadius(int fieldsizeX);
float outerWallRadius(int fieldsizeX);

}  // namespace SceneMeshes
