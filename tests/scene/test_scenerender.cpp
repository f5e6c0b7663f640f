// The scene drawn by Mesa's software renderer: a four-player game at each
// quality, from buffer objects and from display lists.
#include <QApplication>
#include <QTest>
#include <set>

#include "scenestate.h"
#include "sceneview.h"

namespace {

QImage render(const SceneField& field, int quality, GlAllow allow, bool* bump = nullptr) {
    SceneView view(field, SceneTextures::fromResources(), allow);
    view.options.quality = quality;
    view.preview = PreviewPainter::Top;
    // The 2D layer must still work after the scene: a mark in the corner.
    view.overlay = [](QPainter& p) { p.fillRect(0, 0, 8, 8, Qt::magenta); };
    view.resize(480, 360);
    view.show();
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
    // Each quality draws its own look, the same from either geometry path,
    // with the players' colours on screen and the 2D layer over it.
    void fourPlayersAtEachQuality() {
        SceneField field;
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
    }
};

int main(int argc, char** argv) {
    setSceneDefaultFormat(4);
    QApplication app(argc, argv);
    TestSceneRender test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_scenerender.moc"
