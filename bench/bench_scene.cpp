// Frame times of the 3D field under the software renderer: a four-player game
// at each quality, 1280x720 and 1920x1080, with and without 4x multisampling,
// and the time of a geometry rebuild. With --shots DIR it saves the views to
// look at instead. Needs an X display; without one it runs itself in xvfb-run.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSurfaceFormat>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "scenestate.h"
#include "sceneview.h"
#include "testtextures.h"

namespace {

SceneTextures textures() {
    SceneTextures t = SceneTextures::fromResources();
    // Until the game's own images exist, stand-ins show the textured paths.
    return t.wall.isNull() ? testTextures() : t;
}

struct Setup {
    QSize size;
    int quality;
    int samples;
};

double framesPerSecond(const SceneField& field, const Setup& s, int frames, int* samplesSeen) {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSamples(s.samples);
    QSurfaceFormat::setDefaultFormat(format);
    SceneView view(field, textures());
    view.setFormat(format);
    view.options.quality = s.quality;
    view.options.aspect =
        std::clamp(float(s.size.width()) / float(s.size.height()), 1.25f, 16.0f / 9.0f);
    view.preview = PreviewPainter::Top;
    view.scale = std::min(float(s.size.height()) / 480.0f, float(s.size.width()) / 640.0f);
    view.resize(s.size);
    view.show();
    for (int i = 0; i < 5; ++i) {
        view.repaint();
        QCoreApplication::processEvents();
    }
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < frames; ++i) {
        view.repaint();
    }
    QCoreApplication::processEvents();
    *samplesSeen = view.samples;
    return frames * 1000.0 / double(std::max<qint64>(1, clock.elapsed()));
}

void shot(const SceneField& field, const QString& dir, const QString& name, QSize size,
          const std::function<void(SceneView&)>& setup) {
    SceneView view(field, textures());
    view.resize(size);
    view.options.aspect =
        std::clamp(float(size.width()) / float(size.height()), 1.25f, 16.0f / 9.0f);
    view.scale = std::min(float(size.height()) / 480.0f, float(size.width()) / 640.0f);
    setup(view);
    view.show();
    QCoreApplication::processEvents();
    const QImage image = view.grabFramebuffer();
    image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    std::printf("%s\n", qPrintable(name));
}

int runShots(const QString& dir) {
    QDir().mkpath(dir);
    SceneField four;
    SceneFeed feedFour(four);
    auto runFour = playInto(four, feedFour, 4, 3000);
    const QSize size(1280, 720);
    for (int q = 0; q < 3; ++q) {
        shot(four, dir, QStringLiteral("four_q%1").arg(q), size, [&](SceneView& v) {
            v.options.quality = q;
            v.preview = PreviewPainter::Top;
        });
    }
    shot(four, dir, QStringLiteral("four_high_nobump"), size,
         [&](SceneView& v) { v.options.quality = 2; });
    shot(four, dir, QStringLiteral("four_bottom_nomarker"), size, [&](SceneView& v) {
        v.options.quality = 1;
        v.options.showPointers = false;
        v.preview = PreviewPainter::Bottom;
    });
    SceneField two;
    SceneFeed feedTwo(two);
    auto runTwo = playInto(two, feedTwo, 2, 2000);
    shot(two, dir, QStringLiteral("split_bottom"), size, [&](SceneView& v) {
        v.options.quality = 1;
        v.options.splitscreen = true;
        v.preview = PreviewPainter::Bottom;
    });
    SceneField one;
    SceneFeed feedOne(one);
    auto runOne = playInto(one, feedOne, 1, 1500);
    shot(one, dir, QStringLiteral("single_high"), QSize(1280, 1024), [&](SceneView& v) {
        v.options.quality = 2;
        v.preview = PreviewPainter::Top;
    });
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                const_cast<char*>("-s"),
                                const_cast<char*>("-screen 0 1920x1200x24 -nolisten tcp")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 1;
    }
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    format.setSwapInterval(0);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--shots"));
        at > 0 && at + 1 < args.size()) {
        return runShots(args.at(at + 1));
    }
    int frames = 40;
    if (const qsizetype at = args.indexOf(QStringLiteral("--frames"));
        at > 0 && at + 1 < args.size()) {
        frames = std::max(1, args.at(at + 1).toInt());
    }

    SceneField field;
    SceneFeed feed(field);
    auto run = playInto(field, feed, 4, 3000);
    field.setRotation(true);
    int boxes = 0;
    field.mirror().forEachBlock([&](const GameBlock& b) { boxes += int(b.boxes().size()); });
    boxes += int(field.mirror().block(0)->boxes().size());
    std::printf("four players, 48 columns, %d boxes on the field, %d frames each\n", boxes, frames);
    std::printf("%-10s %-8s %8s %10s %9s\n", "size", "quality", "samples", "fps", "ms/frame");
    for (QSize size : {QSize(1280, 720), QSize(1920, 1080)}) {
        for (int samples : {4, 0}) {
            for (int q = 0; q < 3; ++q) {
                int seen = 0;
                const double fps = framesPerSecond(field, {size, q, samples}, frames, &seen);
                std::printf("%4dx%-5d %-8s %8d %10.1f %9.1f\n", size.width(), size.height(),
                            q == 0   ? "Low"
                            : q == 1 ? "Normal"
                                     : "High",
                            seen, fps, 1000.0 / fps);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
