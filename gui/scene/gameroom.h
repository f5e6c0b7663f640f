#pragma once

#include <QObject>
#include <QVector3D>
#include <array>
#include <vector>

// The room around the field: a floor of 70 by 70 units and four walls 50 units
// high with raised relief, as five fixed meshes of quads whose vertices carry
// tangent frames, so that the walls can be lit per pixel (dot3 bump mapping).
// Each frame the light direction is recomputed for every vertex in its own
// tangent space.
class GameRoom : public QObject {
    Q_OBJECT

public:
    static constexpr int kMeshes = 5;  // floor, then the walls at +x, -x, +z, -z
    static constexpr std::array<int, kMeshes> kVertexCounts{1320, 484, 488, 720, 488};
    // One vertex record: 21 floats, 84 bytes.
    static constexpr int kFloats = 21;
    static constexpr int kStride = kFloats * int(sizeof(float));
    enum Offset {
        Position = 0,
        Texture = 3,
        Tangent = 5,
        Bitangent = 8,
        Normal = 11,
        ScaledNormal = 14,
        Light = 17,
        Surface = 20,  // 0 floor, 1..4 the wall the vertex belongs to, as an int
    };

    explicit GameRoom(QObject* parent = nullptr);

    int vertexCount(int mesh) const { return int(meshes_.at(mesh).size()) / kFloats; }
    const float* vertices(int mesh) const { return meshes_.at(mesh).data(); }
    QVector3D vector(int mesh, int vertex, Offset field) const;
    int surfaceId(int mesh, int vertex) const;

    // Recomputes the light vectors of a mesh for a light at this room position.
    void updateLight(int mesh, const QVector3D& light);

    // Whether a mesh faces the camera: the floor always, each wall over half of
    // the camera's turn. f is the camera column scaled to 0 <= f < 12.
    static bool visible(int mesh, float f);
    // The light's room position for the camera's turn about y (the angle the
    // view is rotated by, in degrees): above and beside the camera, inside the
    // room.
    static QVector3D lightPosition(float cameraAngle);

private:
    std::array<std::vector<float>, kMeshes> meshes_;
};
