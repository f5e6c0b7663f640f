#include "scenemeshes.h"

#include <QMatrix4x4>
#include <QVector3D>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr float kBoxHalf = 0.5f;
constexpr float kBevel = 0.4f;
constexpr float kRoomHalf = 35.0f;
constexpr float kRoomFloor = -0.5f;
constexpr float kRoomTop = 49.5f;
constexpr float kFieldBottom = -0.5f;
constexpr float kFieldTop = 24.5f;

struct Vertex {
    QVector3D position;
    QVector3D normal;
    float s = 0;
    float t = 0;
};

void append(MeshData& m, const Vertex& v) {
    const QVector3D n = v.normal.normalized() * MeshData::kNormalLength;
    m.vertices.insert(m.vertices.end(), {v.position.x(), v.position.y(), v.position.z(), n.x(),
                                         n.y(), n.z(), v.s, v.t});
}

// A convex polygon of three or four corners, wound counter-clockwise as seen
// from its normal whatever order the corners come in.
void addPolygon(MeshData& m, std::array<Vertex, 4> corners, int count) {
    const QVector3D face = QVector3D::crossProduct(corners[1].position - corners[0].position,
                                                   corners[2].position - corners[0].position);
    if (QVector3D::dotProduct(face, corners[0].normal) < 0) {
        std::swap(corners[1], corners[count - 1]);
    }
    const auto first = GLuint(m.vertexCount());
    for (int i = 0; i < count; ++i) {
        append(m, corners[i]);
    }
    for (int i = 1; i + 1 < count; ++i) {
        m.indices.insert(m.indices.end(), {first, first + GLuint(i), first + GLuint(i) + 1});
    }
}

void addQuad(MeshData& m, const std::array<Vertex, 4>& corners) {
    addPolygon(m, corners, 4);
}

QVector3D axis(int a, float length) {
    QVector3D v;
    v[a] = length;
    return v;
}

}  // namespace

namespace SceneMeshes {

float fieldRadius(int fieldsizeX) {
    return float(fieldsizeX) / (2.0f * std::numbers::pi_v<float>);
}

float innerWallRadius(int fieldsizeX) {
    return fieldRadius(fieldsizeX) - 1.001f;
}

float outerWallRadius(int fieldsizeX) {
    const float half = std::numbers::pi_v<float> / float(std::max(fieldsizeX, 3));
    return (fieldRadius(fieldsizeX) + 0.001f) / std::cos(half);
}

}  // namespace SceneMeshes

namespace {

// The cells around a box on the ring: beside it (x), above and below (y).
enum Neighbour : unsigned {
    kRight = 1,
    kLeft = 2,
    kUp = 4,
    kDown = 8,
};

unsigned beside(int axisIndex, float sign) {
    if (axisIndex == 0) {
        return sign > 0 ? kRight : kLeft;
    }
    if (axisIndex == 1) {
        return sign > 0 ? kUp : kDown;
    }
    return 0;  // the ring's inside and outside: never covered
}

// One face, edge or corner of the box, and the neighbour that covers it (none:
// always seen).
struct BoxPart {
    std::array<Vertex, 4> corners;
    int count = 4;
    unsigned coveredBy = 0;
};

std::vector<BoxPart> boxParts(int quality) {
    std::vector<BoxPart> parts;
    const float face = quality <= 0 ? kBoxHalf : kBevel;
    // Faces: the corners of each face lie at +-face in the other two axes.
    for (int a = 0; a < 3; ++a) {
        for (float sign : {-1.0f, 1.0f}) {
            const int b = (a + 1) % 3;
            const int c = (a + 2) % 3;
            const QVector3D n = axis(a, sign);
            BoxPart p;
            const std::array<std::pair<float, float>, 4> uv{
                {{-face, -face}, {face, -face}, {face, face}, {-face, face}}};
            for (int i = 0; i < 4; ++i) {
                p.corners[i] = {
                    axis(a, sign * kBoxHalf) + axis(b, uv[i].first) + axis(c, uv[i].second), n};
            }
            p.coveredBy = beside(a, sign);
            parts.push_back(p);
        }
    }
    if (quality <= 0) {
        return parts;
    }
    // Edges between the faces of axes a and b, running along the third axis.
    for (int a = 0; a < 3; ++a) {
        const int b = (a + 1) % 3;
        const int c = (a + 2) % 3;
        for (float sa : {-1.0f, 1.0f}) {
            for (float sb : {-1.0f, 1.0f}) {
                const QVector3D n = axis(a, sa) + axis(b, sb);
                BoxPart p;
                int i = 0;
                for (float sc : {-1.0f, 1.0f}) {
                    p.corners[i++] = {
                        axis(a, sa * kBoxHalf) + axis(b, sb * kBevel) + axis(c, sc * kBevel), n};
                    p.corners[i++] = {
                        axis(a, sa * kBevel) + axis(b, sb * kBoxHalf) + axis(c, sc * kBevel), n};
                }
                // Around the rim, not across it. Edges stay even between four
                // boxes: they close the shaft where four bevels meet.
                std::swap(p.corners[2], p.corners[3]);
                parts.push_back(p);
            }
        }
    }
    for (float sx : {-1.0f, 1.0f}) {
        for (float sy : {-1.0f, 1.0f}) {
            for (float sz : {-1.0f, 1.0f}) {
                const QVector3D n(sx, sy, sz);
                BoxPart p;
                p.count = 3;
                for (int a = 0; a < 3; ++a) {
                    QVector3D corner = n * kBevel;
                    corner[a] = n[a] * kBoxHalf;
                    p.corners[a] = {corner, n};
                }
                parts.push_back(p);
            }
        }
    }
    return parts;
}

}  // namespace

namespace SceneMeshes {

MeshData box(int quality) {
    MeshData m;
    for (const BoxPart& p : boxParts(quality)) {
        addPolygon(m, p.corners, p.count);
    }
    return m;
}

MeshData stack(const std::vector<Cell>& cells, int fieldsizeX, int quality) {
    constexpr int kRows = 41;
    const int w = std::max(fieldsizeX, 1);
    std::vector<char> taken(std::size_t(w * kRows), 0);
    auto at = [&](int column, int row) -> bool {
        column = ((column % w) + w) % w;
        return row >= 0 && row < kRows && taken[std::size_t(row * w + column)] != 0;
    };
    for (const Cell& c : cells) {
        if (c.row >= 0 && c.row < kRows && c.column >= 0 && c.column < w) {
            taken[std::size_t(c.row * w + c.column)] = 1;
        }
    }
    const std::vector<BoxPart> parts = boxParts(quality);
    const float out = fieldRadius(w) - 0.5f;
    std::vector<Cell> byColour = cells;
    std::stable_sort(byColour.begin(), byColour.end(),
                     [](const Cell& a, const Cell& b) { return a.colour < b.colour; });
    MeshData m;
    m.vertices.reserve(cells.size() * 64 * MeshData::kFloats);
    for (const Cell& c : byColour) {
        if (m.parts.empty() || m.parts.back().colour != c.colour) {
            m.parts.push_back({c.colour, int(m.indices.size()), 0});
        }
        const unsigned around =
            (at(c.column + 1, c.row) ? kRight : 0u) | (at(c.column - 1, c.row) ? kLeft : 0u) |
            (at(c.column, c.row + 1) ? kUp : 0u) | (at(c.column, c.row - 1) ? kDown : 0u);
        QMatrix4x4 place;
        place.rotate(360.0f / float(w) * float(c.column), 0, 1, 0);
        place.translate(0, float(c.row), out);
        for (const BoxPart& p : parts) {
            if ((around & p.coveredBy) != 0) {
                continue;
            }
            std::array<Vertex, 4> corners = p.corners;
            for (Vertex& v : corners) {
                v.position = place.map(v.position);
                v.normal = place.mapVector(v.normal);
            }
            addPolygon(m, corners, p.count);
        }
        m.parts.back().count = int(m.indices.size()) - m.parts.back().first;
    }
    return m;
}

MeshData wireBox() {
    MeshData m;
    m.mode = GL_LINES;
    for (int a = 0; a < 3; ++a) {
        const int b = (a + 1) % 3;
        const int c = (a + 2) % 3;
        for (float sb : {-kBoxHalf, kBoxHalf}) {
            for (float sc : {-kBoxHalf, kBoxHalf}) {
                for (float sa : {-kBoxHalf, kBoxHalf}) {
                    m.indices.push_back(GLuint(m.vertexCount()));
                    append(m, {axis(a, sa) + axis(b, sb) + axis(c, sc), QVector3D(0, 1, 0)});
                }
            }
        }
    }
    return m;
}

MeshData fieldWall(int fieldsizeX, float radius) {
    MeshData m;
    const float step = 2.0f * std::numbers::pi_v<float> / float(fieldsizeX);
    for (int c = 0; c < fieldsizeX; ++c) {
        // Column c lies at angle c * step about y, measured from +z towards +x.
        const float a0 = (float(c) - 0.5f) * step;
        const float a1 = (float(c) + 0.5f) * step;
        const QVector3D p0(radius * std::sin(a0), 0, radius * std::cos(a0));
        const QVector3D p1(radius * std::sin(a1), 0, radius * std::cos(a1));
        const QVector3D n = -QVector3D(std::sin(float(c) * step), 0, std::cos(float(c) * step));
        const QVector3D bottom(0, kFieldBottom, 0);
        const QVector3D top(0, kFieldTop, 0);
        addQuad(m, {{{p0 + bottom, n}, {p1 + bottom, n}, {p1 + top, n}, {p0 + top, n}}});
    }
    return m;
}

MeshData baseTile(float radius) {
    MeshData m;
    const QVector3D centre(0, -0.499f, radius - 0.5f);
    const QVector3D up(0, 1, 0);
    addQuad(m, {{{centre + QVector3D(-0.4f, 0, -0.4f), up},
                 {centre + QVector3D(0.4f, 0, -0.4f), up},
                 {centre + QVector3D(0.4f, 0, 0.4f), up},
                 {centre + QVector3D(-0.4f, 0, 0.4f), up}}});
    return m;
}

MeshData plainRoom() {
    MeshData m;
    const float h = kRoomHalf;
    const float lo = kRoomFloor;
    const float hi = kRoomTop;
    auto vertex = [](float x, float y, float z, QVector3D n, float s, float t) {
        return Vertex{{x, y, z}, n, s, t};
    };
    const QVector3D up(0, 1, 0);
    addQuad(m, {{vertex(-h, lo, -h, up, 0, 0), vertex(h, lo, -h, up, 70, 0),
                 vertex(h, lo, h, up, 70, 70), vertex(-h, lo, h, up, 0, 70)}});
    // Walls: s runs along the wall, t up from the floor, in grid units.
    const std::array<std::pair<QVector3D, QVector3D>, 4> walls{{
        {{h, 0, 0}, {0, 0, 1}},   // at +x, along +z
        {{-h, 0, 0}, {0, 0, 1}},  // at -x
        {{0, 0, h}, {1, 0, 0}},   // at +z, along +x
        {{0, 0, -h}, {1, 0, 0}},  // at -z
    }};
    for (const auto& [centre, along] : walls) {
        const QVector3D n = -centre.normalized();
        const QVector3D a = centre - along * h;
        const QVector3D b = centre + along * h;
        addQuad(m, {{{a + QVector3D(0, lo, 0), n, 0, 0},
                     {b + QVector3D(0, lo, 0), n, 70, 0},
                     {b + QVector3D(0, hi, 0), n, 70, hi - lo},
                     {a + QVector3D(0, hi, 0), n, 0, hi - lo}}});
    }
    return m;
}

}  // namespace SceneMeshes
