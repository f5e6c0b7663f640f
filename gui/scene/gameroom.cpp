#include "gameroom.h"

#include <QMatrix4x4>
#include <QRectF>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr float kHalf = 35.0f;
constexpr float kFloorBase = -1.5f;  // the grooves between the floor tiles
constexpr float kFloorTop = -0.5f;   // where the field stands
constexpr float kWallTop = 49.5f;
constexpr float kNormalScale = 0.025f;
constexpr float kRaster = 0.5f;  // relief coordinates are multiples of this

// One of the room's five surfaces: relief is laid out on it in shape
// coordinates g (along) and h (up the surface), and raised by a depth towards
// the room.
struct Surface {
    int id;
    QVector3D origin;
    QVector3D along;
    QVector3D up;
    QVector3D normal;
    QVector3D point(float g, float h, float depth) const {
        return origin + along * g + up * h + normal * depth;
    }
};

const std::array<Surface, GameRoom::kMeshes> kSurfaces{{
    {0, {-kHalf, 0, -kHalf}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
    {1, {kHalf, 0, kHalf}, {0, 0, -1}, {0, 1, 0}, {-1, 0, 0}},
    {2, {-kHalf, 0, -kHalf}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}},
    {3, {-kHalf, 0, kHalf}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
    {4, {kHalf, 0, -kHalf}, {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
}};

struct Quad {
    std::array<QVector3D, 4> corners;  // in order around the quad
    QVector3D normal;
    bool splittable = false;  // a large flat face, not a narrow side

    float area() const {
        return (corners[1] - corners[0]).length() * (corners[2] - corners[1]).length();
    }
};

Quad flat(const Surface& s, const QRectF& r, float depth, bool splittable) {
    return {{s.point(float(r.left()), float(r.top()), depth),
             s.point(float(r.right()), float(r.top()), depth),
             s.point(float(r.right()), float(r.bottom()), depth),
             s.point(float(r.left()), float(r.bottom()), depth)},
            s.normal,
            splittable};
}

// A shape on a surface, the union of parts less the holes, as cells of
// kRaster inside the parts' bounds.
class Raster {
public:
    Raster(const std::vector<QRectF>& parts, const std::vector<QRectF>& holes = {}) {
        for (const QRectF& r : parts) {
            box_ = box_.united(r);
        }
        nx_ = int(std::lround(box_.width() / kRaster));
        ny_ = int(std::lround(box_.height() / kRaster));
        cells_.assign(std::size_t(nx_ * ny_), 0);
        auto within = [](const std::vector<QRectF>& rects, QPointF p) {
            return std::any_of(rects.begin(), rects.end(),
                               [&](const QRectF& r) { return r.contains(p); });
        };
        for (int j = 0; j < ny_; ++j) {
            for (int i = 0; i < nx_; ++i) {
                const QPointF centre(g(i) + kRaster / 2, h(j) + kRaster / 2);
                cells_[std::size_t(j * nx_ + i)] = within(parts, centre) && !within(holes, centre);
            }
        }
    }

    int nx() const { return nx_; }
    int ny() const { return ny_; }
    float g(int i) const { return float(box_.left()) + float(i) * kRaster; }
    float h(int j) const { return float(box_.top()) + float(j) * kRaster; }
    bool in(int i, int j) const {
        return i >= 0 && j >= 0 && i < nx_ && j < ny_ && cells_[std::size_t(j * nx_ + i)] != 0;
    }

    // The shape as few rectangles: each run of a row, grown over the rows
    // above that have exactly the same run.
    std::vector<QRectF> rects() const {
        std::vector<QRectF> out;
        std::vector<char> used(cells_.size(), 0);
        auto free = [&](int i, int j) { return in(i, j) && !used[std::size_t(j * nx_ + i)]; };
        for (int j = 0; j < ny_; ++j) {
            for (int i = 0; i < nx_;) {
                if (!free(i, j)) {
                    ++i;
                    continue;
                }
                int end = i;
                while (free(end, j)) {
                    ++end;
                }
                auto sameRun = [&](int row) {
                    for (int k = i; k < end; ++k) {
                        if (!free(k, row)) {
                            return false;
                        }
                    }
                    return !in(i - 1, row) && !in(end, row);
                };
                int last = j + 1;
                while (last < ny_ && sameRun(last)) {
                    ++last;
                }
                for (int row = j; row < last; ++row) {
                    std::fill_n(used.begin() + row * nx_ + i, end - i, 1);
                }
                out.emplace_back(QPointF(g(i), h(j)), QPointF(g(end), h(last)));
                i = end;
            }
        }
        return out;
    }

private:
    QRectF box_;
    int nx_ = 0;
    int ny_ = 0;
    std::vector<char> cells_;
};

// A flat stretch of surface at depth: area less the holes where relief stands
// on it, so that no fragment is drawn twice.
void addFlat(std::vector<Quad>& out, const Surface& s, float depth, const QRectF& area,
             const std::vector<QRectF>& holes, bool splittable) {
    for (const QRectF& r : Raster({area}, holes).rects()) {
        out.push_back(flat(s, r, depth, splittable));
    }
}

// A raised shape, the union of parts, from depth base to top: its top faces as
// few rectangles, and one side face per straight piece of its outline.
void addRelief(std::vector<Quad>& out, const Surface& s, float base, float top,
               const std::vector<QRectF>& parts) {
    const Raster r(parts);
    for (const QRectF& rect : r.rects()) {
        out.push_back(flat(s, rect, top, true));
    }
    auto side = [&](QVector3D a, QVector3D b, QVector3D facing) {
        out.push_back(
            {{a + s.normal * base, b + s.normal * base, b + s.normal * top, a + s.normal * top},
             facing,
             false});
    };
    // Sides: runs of the outline facing the same way.
    for (int i = 0; i <= r.nx(); ++i) {  // edges across g
        for (int j = 0; j < r.ny();) {
            const int state = int(r.in(i, j)) - int(r.in(i - 1, j));
            if (state == 0) {
                ++j;
                continue;
            }
            int end = j;
            while (end < r.ny() && int(r.in(i, end)) - int(r.in(i - 1, end)) == state) {
                ++end;
            }
            side(s.point(r.g(i), r.h(j), 0), s.point(r.g(i), r.h(end), 0), s.along * float(-state));
            j = end;
        }
    }
    for (int j = 0; j <= r.ny(); ++j) {  // edges across h
        for (int i = 0; i < r.nx();) {
            const int state = int(r.in(i, j)) - int(r.in(i, j - 1));
            if (state == 0) {
                ++i;
                continue;
            }
            int end = i;
            while (end < r.nx() && int(r.in(end, j)) - int(r.in(end, j - 1)) == state) {
                ++end;
            }
            side(s.point(r.g(i), r.h(j), 0), s.point(r.g(end), r.h(j), 0), s.up * float(-state));
            i = end;
        }
    }
}

// The four cells of a piece (kind 0..6 in rotation 0) as squares of size cell.
std::vector<QRectF> piece(int kind, float g, float h, float cell) {
    static constexpr int kCells[7][4][2] = {
        {{1, 1}, {1, 2}, {2, 1}, {2, 2}}, {{0, 1}, {1, 0}, {1, 1}, {1, 2}},
        {{0, 2}, {1, 0}, {1, 1}, {1, 2}}, {{2, 2}, {1, 0}, {1, 1}, {1, 2}},
        {{0, 0}, {0, 1}, {1, 1}, {1, 2}}, {{1, 2}, {2, 1}, {1, 1}, {2, 0}},
        {{0, 2}, {1, 2}, {2, 2}, {3, 2}},
    };
    std::vector<QRectF> cells;
    for (const auto& c : kCells[kind]) {
        cells.emplace_back(g + float(c[0]) * cell, h + float(c[1]) * cell, cell, cell);
    }
    return cells;
}

std::vector<Quad> floorLayout() {
    const Surface& s = kSurfaces[0];
    std::vector<Quad> q;
    // Tiles and a border stand on the floor; between them lie the grooves.
    std::vector<std::vector<QRectF>> reliefs{
        {QRectF(0, 0, 70, 2), QRectF(0, 68, 70, 2), QRectF(0, 0, 2, 70), QRectF(68, 0, 2, 70)}};
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
            reliefs.push_back({QRectF(3 + 13 * i, 3 + 13 * j, 12, 12)});
        }
    }
    std::vector<QRectF> footprint;
    for (const auto& parts : reliefs) {
        addRelief(q, s, kFloorBase, kFloorTop, parts);
        footprint.insert(footprint.end(), parts.begin(), parts.end());
    }
    addFlat(q, s, kFloorBase, QRectF(0, 0, 70, 70), footprint, false);
    return q;
}

// Every wall: skirting, cornice, a crenellated frieze and raised panels, each
// panel carrying a piece; the wall at +z carries all seven pieces instead.
std::vector<Quad> wallLayout(int mesh) {
    const Surface& s = kSurfaces[std::size_t(mesh)];
    std::vector<Quad> q;
    std::vector<QRectF> footprint;  // what stands on the wall itself
    auto raise = [&](float top, const std::vector<QRectF>& parts) {
        addRelief(q, s, 0, top, parts);
        footprint.insert(footprint.end(), parts.begin(), parts.end());
    };
    raise(0.5f, {QRectF(QPointF(0, kFloorBase), QPointF(70, 1.5))});
    raise(1.0f, {QRectF(0, 46, 70, 2)});
    std::vector<QRectF> frieze{QRectF(3, 40, 64, 2)};
    for (int k = 0; k < 8; ++k) {
        frieze.emplace_back(3 + 8 * k + 2, 42, 4, 2);
    }
    raise(0.75f, frieze);

    if (mesh == 3) {
        for (int k = 0; k < 7; ++k) {
            const float g = 4.0f + float(k % 4) * 16.0f + float(k / 4) * 8.0f;
            const float h = k < 4 ? 20.0f : 4.0f;
            raise(1.0f, piece(k, g, h, 3));
        }
        raise(0.5f, {QRectF(4, 30, 62, 6)});
    } else {
        const std::array<std::array<int, 3>, 3> kinds{{{1, 6, 2}, {4, 0, 5}, {3, 6, 1}}};
        for (int p = 0; p < 3; ++p) {
            const float g = 5.0f + 22.0f * float(p);
            raise(0.5f, {QRectF(g, 5, 16, 33)});
            addRelief(q, s, 0.5f, 1.25f,
                      piece(kinds[std::size_t(mesh == 4 ? 2 : mesh - 1)][p], g + 2, 15, 3));
        }
    }
    addFlat(q, s, 0, QRectF(QPointF(0, kFloorBase), QPointF(70, kWallTop)), footprint, true);
    return q;
}

// Splits the largest flat faces in two until the mesh has its size: finer
// quads also follow a near light better, as light vectors are interpolated.
void fill(std::vector<Quad>& quads, int count) {
    while (int(quads.size()) < count) {
        std::size_t best = quads.size();
        for (std::size_t i = 0; i < quads.size(); ++i) {
            if (quads[i].splittable &&
                (best == quads.size() || quads[i].area() > quads[best].area())) {
                best = i;
            }
        }
        if (best == quads.size()) {
            return;
        }
        const Quad q = quads[best];
        const auto& c = q.corners;
        const auto mid = [](QVector3D a, QVector3D b) { return (a + b) / 2; };
        Quad a = q;
        Quad b = q;
        if ((c[1] - c[0]).length() >= (c[2] - c[1]).length()) {
            a.corners = {c[0], mid(c[0], c[1]), mid(c[3], c[2]), c[3]};
            b.corners = {mid(c[0], c[1]), c[1], c[2], mid(c[3], c[2])};
        } else {
            a.corners = {c[0], c[1], mid(c[1], c[2]), mid(c[0], c[3])};
            b.corners = {mid(c[0], c[3]), mid(c[1], c[2]), c[2], c[3]};
        }
        quads[best] = a;
        quads.insert(quads.begin() + std::ptrdiff_t(best) + 1, b);
    }
}

void put(float* v, QVector3D x) {
    v[0] = x.x();
    v[1] = x.y();
    v[2] = x.z();
}

void appendQuad(std::vector<float>& out, const Quad& quad, int surface) {
    const QVector3D n = quad.normal;
    // Bitangent up the wall, or along +z on horizontal faces; the normal is
    // bitangent x tangent.
    const QVector3D b = std::abs(n.y()) < 0.5f ? QVector3D(0, 1, 0) : QVector3D(0, 0, 1);
    const QVector3D t = QVector3D::crossProduct(n, b);
    auto corners = quad.corners;
    const QVector3D face =
        QVector3D::crossProduct(corners[1] - corners[0], corners[2] - corners[0]);
    if (QVector3D::dotProduct(face, n) < 0) {
        std::swap(corners[1], corners[3]);  // counter-clockwise seen from the front
    }
    for (const QVector3D& p : corners) {
        float v[GameRoom::kFloats] = {};
        put(v + GameRoom::Position, p);
        v[GameRoom::Texture] = QVector3D::dotProduct(p, t);
        v[GameRoom::Texture + 1] = QVector3D::dotProduct(p, b);
        put(v + GameRoom::Tangent, t);
        put(v + GameRoom::Bitangent, b);
        put(v + GameRoom::Normal, QVector3D::crossProduct(b, t));
        put(v + GameRoom::ScaledNormal, QVector3D::crossProduct(b, t) * kNormalScale);
        std::memcpy(v + GameRoom::Surface, &surface, sizeof(float));
        out.insert(out.end(), v, v + GameRoom::kFloats);
    }
}

}  // namespace

GameRoom::GameRoom(QObject* parent) : QObject(parent) {
    for (int m = 0; m < kMeshes; ++m) {
        std::vector<Quad> quads = m == 0 ? floorLayout() : wallLayout(m);
        fill(quads, kVertexCounts[std::size_t(m)] / 4);
        auto& out = meshes_[std::size_t(m)];
        out.reserve(quads.size() * 4 * kFloats);
        for (const Quad& q : quads) {
            appendQuad(out, q, m);
        }
    }
}

QVector3D GameRoom::vector(int mesh, int vertex, Offset field) const {
    const float* v = vertices(mesh) + std::size_t(vertex) * kFloats + field;
    return {v[0], v[1], v[2]};
}

int GameRoom::surfaceId(int mesh, int vertex) const {
    int id = 0;
    std::memcpy(&id, vertices(mesh) + std::size_t(vertex) * kFloats + Surface, sizeof(float));
    return id;
}

void GameRoom::updateLight(int mesh, const QVector3D& light) {
    std::vector<float>& data = meshes_.at(std::size_t(mesh));
    for (std::size_t at = 0; at < data.size(); at += kFloats) {
        float* v = data.data() + at;
        int surface = 0;
        std::memcpy(&surface, v + Surface, sizeof(float));
        // Relief is lit as if it lay on its surface: the light never falls on
        // a face from behind the wall.
        float p[3] = {v[0], v[1], v[2]};
        switch (surface) {
            case 0:
                p[1] = std::min(p[1], kFloorTop);
                break;
            case 1:
                p[0] = std::max(p[0], kHalf);
                break;
            case 2:
                p[0] = std::min(p[0], -kHalf);
                break;
            case 3:
                p[2] = std::max(p[2], kHalf);
                break;
            default:
                p[2] = std::min(p[2], -kHalf);
                break;
        }
        const float d[3] = {light.x() - p[0], light.y() - p[1], light.z() - p[2]};
        for (int k = 0; k < 3; ++k) {
            const float* axis = v + Tangent + 3 * k;
            v[Light + k] = d[0] * axis[0] + d[1] * axis[1] + d[2] * axis[2];
        }
    }
}

bool GameRoom::visible(int mesh, float f) {
    switch (mesh) {
        case 0:
            return true;
        case 1:
            return f > 6 && f < 12;
        case 2:
            return f < 6;
        case 3:
            return f > 3 && f < 9;
        default:
            return f < 3 || f > 9;
    }
}

QVector3D GameRoom::lightPosition(float cameraAngle) {
    // Undoes the view's own translation, scale and tilt for a light beside
    // and above the camera.
    QMatrix4x4 m;
    m.translate(0, 0, 10);
    m.scale(40);
    m.rotate(-25, 1, 0, 0);
    m.translate(0, 12.5f, 0);
    m.rotate(cameraAngle, 0, 1, 0);
    const QVector4D row(0.25f, 1.2374369f, 0, 1);
    return {QVector4D::dotProduct(row, m.column(0)), QVector4D::dotProduct(row, m.column(1)),
            QVector4D::dotProduct(row, m.column(2))};
}
