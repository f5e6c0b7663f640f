// A four-player game drawn by Mesa at each quality, from buffers and display lists.
#include <QApplication>
#include <QTest>
#include <algorithm>
#include <set>

#include "scenestate.h"
#include "sceneview.h"

namespace {

void setUp(SceneView& view, int quality, bool splitscreen = false) {
    view.options.splitscreen = splitscreen;
    view.frameSamples = 4;
    view.options.quality = quality;
    view.preview = PreviewPainter::Top;
    // The 2D layer must still work after the scene: a mark in the corner.
    view.overlay = [](QPainter& p) { p.fillRect(0, 0, 8, 8, Qt::magenta); };
    view.resize(480, 360);
    view.show();
}

QImage render(const SceneField& field, int quality, GlAllow allow, bool* bump = nullptr,
              bool roomCaching = true, bool splitscreen = false) {
    SceneView view(field, SceneTextures::fromResources(), allow);
    view.renderer().setRoomCaching(roomCaching);
    setUp(view, quality, splitscreen);
    const QImage image = view.grabFramebuffer();
    if (bump != nullptr) {
        *bump = view.renderer().bumpMapping();
    }
    return image;
}

int differingPixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            n += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
        }
    }
    return n;
}

}  // namespace

class TestSceneRender : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each quality its own look, either geometry path the same, 2D layer on top; the room
    // cached while unchanged.
    void fourPlayersAtEachQuality() {
        ClientField copy;
        SceneField field(copy);
        SceneFeed feed(field);
        auto run = playInto(field, feed, 4, 1500);
        QVERIFY(field.mirror().block(0)->boxes().size() > 40);

        std::array<QImage, 3> byQuality;
        for (int q = 0; q < 3; ++q) {
            bool bump = false;
            const QImage buffers = render(field, q, {true, true}, &bump);
            const QImage lists = render(field, q, {false, true});
            QVERIFY(bump);
            QCOMPARE(buffers.pixel(2, 2), QColor(Qt::magenta).rgb());
            std::set<QRgb> colours;
            for (int y = 0; y < buffers.height(); y += 2) {
                for (int x = 0; x < buffers.width(); x += 2) {
                    colours.insert(buffers.pixel(x, y));
                }
            }
            QVERIFY2(colours.size() > 200, qPrintable(QString::number(colours.size())));
            QVERIFY(differingPixels(buffers, lists) < buffers.width() * buffers.height() / 200);
            byQuality[std::size_t(q)] = buffers;
        }
        const int area = byQuality[0].width() * byQuality[0].height();
        QVERIFY(differingPixels(byQuality[0], byQuality[1]) > area / 10);
        QVERIFY(differingPixels(byQuality[1], byQuality[2]) > area / 10);
        // Without dot3 the high room is lit the plain way.
        QVERIFY(differingPixels(byQuality[2], render(field, 2, {true, false})) > area / 10);

        // An unchanged room comes from the cache, same picture; redrawn once per change.
        for (int q = 0; q < 3; ++q) {
            SceneView view(field, SceneTextures::fromResources());
            setUp(view, q);
            const QImage drawn = render(field, q, {}, nullptr, false);
            QCOMPARE(differingPixels(view.grabFramebuffer(), drawn), 0);
            QCOMPARE(view.samples, 4);
            const int draws = view.renderer().roomDraws();
            QVERIFY(draws > 0);
            QCOMPARE(differingPixels(view.grabFramebuffer(), drawn), 0);
            QCOMPARE(view.renderer().roomDraws(), draws);

            field.setRotation(true);
            field.moveCamera();
            const QImage turned = render(field, q, {}, nullptr, false);
            QVERIFY(differingPixels(turned, drawn) > 0);
            QCOMPARE(differingPixels(view.grabFramebuffer(), turned), 0);
            QCOMPARE(view.renderer().roomDraws(), draws + 1);
            field.setRotation(false);
            QCOMPARE(differingPixels(view.grabFramebuffer(), drawn), 0);

            // A tick in which nothing lands and the camera stays.
            int stack = 0;
            float camera = 0;
            do {
                view.grabFramebuffer();
                view.grabFramebuffer();  // the cache holds this picture
                stack = field.stackRevision();
                camera = field.cameraColumn(0);
                run->step();
            } while ((field.stackRevision() != stack || field.cameraColumn(0) != camera) &&
                     !run->over());
            const int before = view.renderer().roomDraws();
            QCOMPARE(differingPixels(view.grabFramebuffer(), render(field, q, {}, nullptr, false)),
                     0);
            QCOMPARE(view.renderer().roomDraws(), before);
            // A landing: drawn into the frame, then into the cache, then copied.
            while (field.stackRevision() == stack && !run->over()) {
                run->step();
            }
            QVERIFY(!run->over());
            const QImage landed = render(field, q, {}, nullptr, false);
            for (int frame = 1; frame <= 3; ++frame) {
                QCOMPARE(differingPixels(view.grabFramebuffer(), landed), 0);
                QCOMPARE(view.renderer().roomDraws(), before + std::min(frame, 2));
            }
        }
        // Two views side by side, each with a room of its own.
        SceneView split(field, SceneTextures::fromResources());
        setUp(split, 2, true);
        const QImage expected = render(field, 2, {}, nullptr, false, true);
        QCOMPARE(differingPixels(split.grabFramebuffer(), expected), 0);
        const int splitDraws = split.renderer().roomDraws();
        QCOMPARE(differingPixels(split.grabFramebuffer(), expected), 0);
        QCOMPARE(split.renderer().roomDraws(), splitDraws);
    }
};

int main(int argc, char** argv) {
    setSceneDefaultFormat(0);
    QApplication app(argc, argv);
    TestSceneRender test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_scenerender.moc"
