// The scene without a GL context: field copy, extensions, meshes, preview layout.
#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "gui/scene/gameroom.h"
#include "gui/scene/glcapabilities.h"
#include "gui/scene/previewpainter.h"
#include "gui/scene/scenefield.h"
#include "gui/scene/scenemeshes.h"

namespace {

// A vertical I whose boxes fill column + 1, rows row..row + 3.
BlockRecord upright(int id, int column, int row) {
    return {id, 1, 6, column * 50, row * 50, 1};
}

// The landed boxes of rows that are full but for column gap.
QList<FieldCell> fullRows(std::initializer_list<int> full, int gap) {
    QList<FieldCell> cells;
    for (int r : full) {
        for (int c = 0; c < 12; ++c) {
            if (c != gap) {
                cells.append({c, r, 2});
            }
        }
    }
    return cells;
}

}  // namespace

class TestScene : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Cameras follow their blocks; the picture key changes with what is drawn, not within one
    // row's fall.
    void camerasAndPictureKeyFollowTheBlocks() {
        ClientField copy;
        SceneField field(copy);
        copy.processNewField(12, {});
        copy.processNewBlock(upright(4, 0, 20), 12);
        copy.processNewBlock(upright(5, 6, 20), 12);
        copy.processMoveBlocks({{4, 100, 950, 1}, {5, 350, 900, 1}}, {5, 4});
        QCOMPARE(field.followPosition(0), QPoint(350, 900));
        QCOMPARE(field.followPosition(1), QPoint(100, 950));
        QCOMPARE(field.cameraColumn(0), 8.5f);

        copy.processMoveBlocks({{4, 0, 1000, 1}}, {4});
        const quint64 start = field.pictureKey();
        copy.processMoveBlocks({{4, 0, 1001, 1}}, {4});
        copy.processMoveBlocks({{4, 0, 1049, 1}}, {4});
        QCOMPARE(field.pictureKey(), start);
        copy.processMoveBlocks({{4, 0, 999, 1}}, {4});
        const quint64 lower = field.pictureKey();
        QVERIFY(lower != start);
        copy.processMoveBlocks({{4, 50, 999, 1}}, {4});
        QVERIFY(field.pictureKey() != lower);
        copy.processMoveBlocks({{4, 50, 999, 2}}, {4});
        const quint64 turned = field.pictureKey();
        field.setRotation(true);
        field.moveCamera();
        QVERIFY(field.pictureKey() != turned);
        field.setRotation(false);
        QCOMPARE(field.pictureKey(), turned);
        copy.processNewBlock(upright(6, 8, 2), 12);
        QVERIFY(field.pictureKey() != turned);
        // Once around in 600 ticks whatever the width; turning off puts it back.
        for (const int width : {12, 48}) {  // one player, four
            ClientField copy;
            SceneField field(copy);
            field.setFieldsizeX(width);
            field.setRotation(true);
            const float start = field.cameraColumn(0);
            for (int t = 1; t <= 600; ++t) {
                field.moveCamera();
                if (t == 300) {
                    QCOMPARE(field.cameraColumn(0),
                             std::fmod(start + float(width) / 2, float(width)));
                }
            }
            QCOMPARE(field.cameraColumn(0), start);
            field.moveCamera();
            field.setRotation(false);
            QCOMPARE(field.rotationPhase(), 0);
        }
    }

    // A merge filling two rows: sounds, one label of 30; a full row above 24 stays.
    void mergeClearsRowsWithSoundsAndLabel() {
        ClientField copy;
        SceneField field(copy);
        QSignalSpy landed(&copy, &ClientField::blockLanded);
        QSignalSpy cleared(&copy, &ClientField::rowCleared);
        QSignalSpy points(&copy, &ClientField::pointsMade);
        copy.processNewField(12, fullRows({0, 1, 2, 25}, 7));
        copy.processNewBlock(upright(8, 0, 20), 12);
        copy.processNewBlock(upright(9, 0, 30), 12);
        // One I lands in column 7, rows 1..4; the other fills row 25 and stands above it.
        copy.processMergeBlocks({{8, 300, 50, 1}, {9, 300, 1250, 1}});

        QCOMPARE(landed.count(), 2);
        QCOMPARE(cleared.count(), 2);  // rows 2 and 1; row 0 still lacks column 7
        QCOMPARE(QList<QVariantList>(points), (QList<QVariantList>{{30, 1}}));
        QCOMPARE(copy.mirror().points(), 30);
        QCOMPARE(field.mirror().cell(7, 23), GameField::kFieldBlockId);  // row 25 moved down twice
        QCOMPARE(field.mirror().cell(0, 23), GameField::kFieldBlockId);
    }

    void extensionIsAWholeWord() {
        const QByteArray list = "GL_ARB_multitexture GL_ARB_texture_cube_map_array GL_EXT_x";
        QVERIFY(GlCapabilities::hasExtension(list, "GL_ARB_multitexture"));
        QVERIFY(GlCapabilities::hasExtension(list, "GL_EXT_x"));
        // A prefix or suffix of a name, two names, no name, no list.
        for (const char* name :
             {"GL_ARB_texture_cube_map", "ARB_multitexture", "GL_ARB_multitexture GL_EXT_x", ""}) {
            QVERIFY2(!GlCapabilities::hasExtension(list, name), name);
        }
        QVERIFY(!GlCapabilities::hasExtension(QByteArray(), "GL_EXT_x"));
    }

    // Right, unit frames; quads face their normals; the light is in front of inward faces;
    // walls show towards the camera only.
    void roomMeshesHaveTheirSizesAndFrames() {
        GameRoom room;
        const QVector3D light = GameRoom::lightPosition(-123.0f);
        QVERIFY(std::abs(light.x()) < 35 && std::abs(light.z()) < 35 && light.y() > 0);
        const std::array<QVector3D, 5> inward{
            {{0, 1, 0}, {-1, 0, 0}, {1, 0, 0}, {0, 0, -1}, {0, 0, 1}}};
        for (int m = 0; m < GameRoom::kMeshes; ++m) {
            QCOMPARE(room.vertexCount(m), GameRoom::kVertexCounts[std::size_t(m)]);
            room.updateLight(m, light);
            for (int v = 0; v < room.vertexCount(m); ++v) {
                const QVector3D t = room.vector(m, v, GameRoom::Tangent);
                const QVector3D b = room.vector(m, v, GameRoom::Bitangent);
                const QVector3D n = room.vector(m, v, GameRoom::Normal);
                QVERIFY(qFuzzyCompare(t.length(), 1.0f) && qFuzzyCompare(b.length(), 1.0f));
                QVERIFY(QVector3D::crossProduct(b, t).distanceToPoint(n) < 1e-6f);
                QVERIFY((n * 0.025f).distanceToPoint(room.vector(m, v, GameRoom::ScaledNormal)) <
                        1e-6f);
                QCOMPARE(room.surfaceId(m, v), m);
                if (n == inward[std::size_t(m)]) {
                    QVERIFY(room.vector(m, v, GameRoom::Light).z() > 0);
                }
                if (v % 4 == 0) {
                    const QVector3D p = room.vector(m, v, GameRoom::Position);
                    const QVector3D face =
                        QVector3D::crossProduct(room.vector(m, v + 1, GameRoom::Position) - p,
                                                room.vector(m, v + 2, GameRoom::Position) - p);
                    QVERIFY(QVector3D::dotProduct(face, n) > 0);
                }
            }
        }
        for (float f = 0.25f; f < 12; f += 0.5f) {
            const float a = f * 30.0f * float(M_PI) / 180.0f;
            const QVector3D camera(std::sin(a), 0, std::cos(a));
            QVERIFY(GameRoom::visible(0, f));
            for (int m = 1; m < GameRoom::kMeshes; ++m) {
                const QVector3D n = room.vector(m, 0, GameRoom::Normal);
                QCOMPARE(GameRoom::visible(m, f), QVector3D::dotProduct(n, camera) > 0);
            }
        }
    }

    // Boxes side by side lose the faces they press together, and only those.
    void stackLeavesOutCoveredFaces_data() {
        QTest::addColumn<int>("quality");
        QTest::newRow("plain cubes") << 0;
        QTest::newRow("bevelled boxes") << 1;
    }
    void stackLeavesOutCoveredFaces() {
        QFETCH(int, quality);
        const auto one = SceneMeshes::box(quality).indices.size();
        QCOMPARE(SceneMeshes::stack({{5, 3, 1}}, 12, quality).indices.size(), one);
        const MeshData row = SceneMeshes::stack({{0, 0, 1}, {1, 0, 2}}, 48, quality);
        QCOMPARE(row.indices.size(), 2 * one - 12);  // two faces of two triangles
        QCOMPARE(row.parts.size(), std::size_t(2));
        const float step = 2.0f * float(M_PI) / 48;
        // Each box's own sideways axis: column 0 unturned, column 1 turned one step.
        const QVector3D side0(1, 0, 0);
        const QVector3D side1(std::cos(step), 0, -std::sin(step));
        const QVector3D middle = QVector3D(std::sin(step / 2), 0, std::cos(step / 2)) *
                                 (SceneMeshes::fieldRadius(48) - 0.5f);
        int ends = 0;
        for (std::size_t t = 0; t < row.indices.size(); t += 3) {
            QVector3D centre, normal;
            for (std::size_t k = 0; k < 3; ++k) {
                const float* v = row.vertices.data() + row.indices[t + k] * MeshData::kFloats;
                centre += QVector3D(v[0], v[1], v[2]) / 3;
                normal = QVector3D(v[3], v[4], v[5]).normalized();
            }
            if (std::abs(QVector3D::dotProduct(normal, side0)) > 0.999f ||
                std::abs(QVector3D::dotProduct(normal, side1)) > 0.999f) {
                ++ends;
                QVERIFY(centre.distanceToPoint(middle) > 0.7f);
            }
        }
        QCOMPARE(ends, 4);
    }

    // Coming blocks: top panel two by two, bottom in a row, none for a block in play.
    void previewPlacesComingBlocks() {
        // 800 x 600 at scale 1.25: cell 15, slot step 75.
        const struct {
            int position;
            int slot;
            QRectF firstBox;
        } rows[] = {{1, 0, QRectF(655 + 15, 70 - 30, 15, 15)},  // top, two by two
                    {1, 3, QRectF(655 + 75 + 15, 145 - 30, 15, 15)},
                    {2, 2, QRectF(257.5 + 150 + 15, 590 - 30, 15, 15)},  // bottom, in a row
                    {2, -1, QRectF()}};                                  // on the field
        for (const auto& r : rows) {
            const GameBlock o(1, 0, 0, -500 * (r.slot + 1), -500, 0, 48);  // first box at (1, 1)
            const auto l = PreviewPainter::layout(r.position, QSize(800, 600), 1.25f, false);
            const auto boxes = PreviewPainter::boxes(o, l, r.position, 0);
            QCOMPARE(boxes.empty() ? QRectF() : boxes.front(), r.firstBox);
        }
    }
};

QTEST_GUILESS_MAIN(TestScene)
#include "test_scene.moc"
