// Frame times of the 3D field under the software renderer: a four-player game
// at each quality, 1280x720 and 1920x1080, with and without 4x multisampling,
// and the time of a geometry rebuild. The scene is drawn as the game draws it,
// into a window of its own; --widget draws it through a QOpenGLWidget composed
// into its top-level window instead, as the game did before. The reference
// scene is always a widget, the same yardstick either way. With --shots DIR
// it saves the views to look at instead. Needs an X display; without one it
// runs itself in xvfb-run.
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QPainter>
#include <QSurfaceFormat>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "gui/scene/glmesh.h"
#include "scenestate.h"
#include "sceneview.h"

namespace {

// The reference scene the goals are given against: about 2,000 lit quads and
// 200 cubes under a text overlay. Its rate on the same machine at the same
// time tells how loaded the machine was.
class CalibrationView : public QOpenGLWidget {
protected:
    void initializeGL() override {
        list_ = glGenLists(1);
        glNewList(list_, GL_COMPILE);
        glBegin(GL_QUADS);
        for (int i = 0; i < 50; ++i) {
            for (int j = 0; j < 40; ++j) {
                glNormal3f(0, 1, 0);
                const float x = float(i) - 25;
                const float z = float(j) - 30;
                glVertex3f(x, -3, z);
                glVertex3f(x, -3, z + 1);
                glVertex3f(x + 1, -3, z + 1);
                glVertex3f(x + 1, -3, z);
            }
        }
        glEnd();
        glEndList();
        cube_ = glGenLists(1);
        glNewList(cube_, GL_COMPILE);
        glBegin(GL_QUADS);
        for (int a = 0; a < 3; ++a) {
            for (float s : {-0.5f, 0.5f}) {
                float n[3] = {0, 0, 0};
                n[a] = s * 2;
                glNormal3fv(n);
                for (auto [u, v] :
                     {std::pair{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}}) {
                    float p[3];
                    p[a] = s;
                    p[(a + 1) % 3] = s > 0 ? u : v;
                    p[(a + 2) % 3] = s > 0 ? v : u;
                    glVertex3fv(p);
                }
            }
        }
        glEnd();
        glEndList();
    }

public:
    int painted = 0;

protected:
    void paintGL() override {
        ++painted;
        glClearColor(0.5f, 0.5f, 0.5f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_COLOR_MATERIAL);
        glEnable(GL_MULTISAMPLE);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glFrustum(-0.8, 0.8, -0.45, 0.45, 1, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0, 0, -8);
        glColor3f(0.8f, 0.7f, 0.6f);
        glCallList(list_);
        glColor3f(0.9f, 0.1f, 0.1f);
        for (int i = 0; i < 200; ++i) {
            glPushMatrix();
            glTranslatef(float(i % 20) - 10, float(i / 20) * 1.1f - 3, -float(i % 7) - 5);
            glRotatef(float(i * 13), 0.3f, 1, 0.2f);
            glCallList(cube_);
            glPopMatrix();
        }
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_COLOR_MATERIAL);
        QPainter painter(this);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        painter.setPen(Qt::white);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 20));
        painter.drawText(20, 40, QStringLiteral("Score 12345   Lines 67   00:01:23"));
    }

private:
    GLuint list_ = 0;
    GLuint cube_ = 0;
};

// CPU time of all our threads (the software renderer's too): unlike the
// clock on the wall it hardly changes with the machine's load.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
double lastCpuMs = 0;

template <typename View>
bool exposed(View& view) {
    if constexpr (std::is_base_of_v<QWindow, View>) {
        return view.isExposed();
    } else {
        return view.windowHandle() != nullptr && view.windowHandle()->isExposed();
    }
}

template <typename View>
double timeFrames(View& view, int frames, const std::function<void()>& beforeFrame = {}) {
    view.show();
    // A window not yet on screen would skip its repaints.
    QElapsedTimer wait;
    wait.start();
    while (!exposed(view) && wait.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    // Frames are asked for as the game asks: update, then the event loop
    // paints when it can. Only frames really painted count.
    const auto paint = [&view, &beforeFrame](int count, const QElapsedTimer& clock) {
        const int start = view.painted;
        while (view.painted - start < count && clock.elapsed() < 300000) {
            if (beforeFrame) {
                beforeFrame();
            }
            view.update();
            QCoreApplication::processEvents();
        }
        return view.painted - start;
    };
    QElapsedTimer clock;
    clock.start();
    paint(5, clock);
    clock.restart();
    const double cpuStart = cpuSeconds();
    const int painted = paint(frames, clock);
    lastCpuMs = (cpuSeconds() - cpuStart) * 1000.0 / std::max(1, painted);
    return painted * 1000.0 / double(std::max<qint64>(1, clock.elapsed()));
}

QSurfaceFormat withSamples(int samples) {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSamples(samples);
    // As the game's surface: QPainter fills paths through the stencil (a
    // widget's framebuffer object has one anyway).
    format.setStencilBufferSize(8);
    return format;
}

constexpr const char* kQualities[] = {"Low", "Normal", "High"};

struct Setup {
    QSize size;
    int quality;
    int samples;
};

// With turning, the camera turns a step before every frame, so that the room
// is drawn anew each time instead of copied.
template <typename View>
double framesPerSecond(SceneField& field, const Setup& s, int frames, int* samplesSeen,
                       bool turning) {
    View view(field, SceneTextures::fromResources());
    // As the game: the window has one sample, the frame the samples asked for.
    view.setFormat(withSamples(0));
    view.frameSamples = s.samples;
    view.options.quality = s.quality;
    view.options.aspect =
        std::clamp(float(s.size.width()) / float(s.size.height()), 1.25f, 16.0f / 9.0f);
    view.preview = PreviewPainter::Top;
    view.scale = std::min(float(s.size.height()) / 480.0f, float(s.size.width()) / 640.0f);
    view.resize(s.size);
    const double fps = timeFrames(view, frames, [&field, turning] {
        if (turning) {
            field.moveCamera();
        }
    });
    *samplesSeen = view.samples;
    return fps;
}

double reference(QSize size, int samples, int frames) {
    CalibrationView view;
    view.setFormat(withSamples(samples));
    view.resize(size);
    return timeFrames(view, frames);
}

void shot(const SceneField& field, const QString& dir, const QString& name, QSize size,
          const std::function<void(SceneView&)>& setup) {
    SceneView view(field, SceneTextures::fromResources());
    view.resize(size);
    view.options.aspect =
        std::clamp(float(size.width()) / float(size.height()), 1.25f, 16.0f / 9.0f);
    view.scale = std::min(float(size.height()) / 480.0f, float(size.width()) / 640.0f);
    setup(view);
    view.show();
    QCoreApplication::processEvents();
    const QImage image = view.grabFramebuffer();
    image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    // The field's middle twice as large, to see single boxes.
    const QRect middle(size.width() * 3 / 8, size.height() / 2, size.width() / 4,
                       size.height() / 2);
    image.copy(middle)
        .scaled(middle.size() * 2)
        .save(dir + QLatin1Char('/') + name + QStringLiteral("_zoom.png"));
    std::printf("%s\n", qPrintable(name));
}

// Geometry rebuilds: all fixed meshes for a new width or quality, and the
// landed stack after a merge.
void rebuildTimes(const SceneField& field) {
    SceneView view(field, SceneTextures::fromResources());
    view.resize(320, 240);
    view.show();
    QCoreApplication::processEvents();
    view.makeCurrent();
    constexpr int kRounds = 20;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kRounds; ++i) {
        view.renderer().prepareGeometry(48, 1 + i % 2);  // each call a new quality
    }
    glFinish();
    const double fixed = double(clock.nsecsElapsed()) / 1e6 / kRounds;
    std::vector<SceneMeshes::Cell> cells;
    for (const GameBox& b : field.mirror().block(0)->boxes()) {
        cells.push_back({b.x(0) / 50, b.y(0) / 50, b.colour()});
    }
    clock.restart();
    for (int i = 0; i < kRounds; ++i) {
        GlMesh stack(view.renderer().capabilities(), SceneMeshes::stack(cells, 48, 1 + i % 2));
    }
    glFinish();
    const double stack = double(clock.nsecsElapsed()) / 1e6 / kRounds;
    view.doneCurrent();
    clock.restart();
    for (int i = 0; i < kRounds; ++i) {
        GameRoom room;
    }
    const double room = double(clock.nsecsElapsed()) / 1e6 / kRounds;
    std::printf(
        "fixed meshes for a new width or quality: %.2f ms; landed stack of %zu boxes: "
        "%.2f ms; room meshes (once per widget): %.2f ms\n",
        fixed, cells.size(), stack, room);
}

int runShots(const QString& dir) {
    QDir().mkpath(dir);
    ClientField fourCopy;
    SceneField four(fourCopy);
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
    ClientField twoCopy;
    SceneField two(twoCopy);
    SceneFeed feedTwo(two);
    auto runTwo = playInto(two, feedTwo, 2, 2000);
    shot(two, dir, QStringLiteral("split_bottom"), size, [&](SceneView& v) {
        v.options.quality = 1;
        v.options.splitscreen = true;
        v.preview = PreviewPainter::Bottom;
    });
    ClientField oneCopy;
    SceneField one(oneCopy);
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
    setSceneDefaultFormat(0);
    QApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--shots"));
        at > 0 && at + 1 < args.size()) {
        return runShots(args.at(at + 1));
    }
    const bool widget = args.contains(QStringLiteral("--widget"));
    const auto scene = widget ? framesPerSecond<SceneView> : framesPerSecond<SceneWindow>;
    int frames = 40;
    if (const qsizetype at = args.indexOf(QStringLiteral("--frames"));
        at > 0 && at + 1 < args.size()) {
        frames = std::max(1, args.at(at + 1).toInt());
    }

    ClientField fieldCopy;

    SceneField field(fieldCopy);
    SceneFeed feed(field);
    auto run = playInto(field, feed, 4, 3000);
    field.setRotation(true);
    int boxes = 0;
    field.mirror().forEachBlock([&](const GameBlock& b) { boxes += int(b.boxes().size()); });
    boxes += int(field.mirror().block(0)->boxes().size());
    // --only W H QUALITY SAMPLES: one setup, for a profiler.
    if (const qsizetype at = args.indexOf(QStringLiteral("--only"));
        at > 0 && at + 4 < args.size()) {
        const Setup only{QSize(args.at(at + 1).toInt(), args.at(at + 2).toInt()),
                         args.at(at + 3).toInt(), args.at(at + 4).toInt()};
        int seen = 0;
        const double fps =
            scene(field, only, frames, &seen, args.contains(QStringLiteral("--turning")));
        std::printf("%.1f fps, %.1f cpu ms a frame, %d samples\n", fps, lastCpuMs, seen);
        return 0;
    }
    // Each row next to the reference scene measured just before it, as the
    // machine's load changes from minute to minute.
    std::printf(
        "four players, 48 columns, %d boxes on the field, %d frames each, drawn by a %s; "
        "\"turning\": the camera turns before every frame, so the room is drawn every frame\n",
        boxes, frames, widget ? "QOpenGLWidget" : "QOpenGLWindow");
    std::printf("%-10s %8s %-14s %8s %9s %12s %8s\n", "size", "samples", "scene", "fps", "ms/frame",
                "x reference", "cpu ms");
    for (QSize size : {QSize(1280, 720), QSize(1920, 1080)}) {
        for (int samples : {4, 0}) {
            const double ref = reference(size, samples, frames);
            const double refCpu = lastCpuMs;
            std::printf("%4dx%-5d %8d %-14s %8.1f %9.1f %12s %8.1f\n", size.width(), size.height(),
                        samples, "reference", ref, 1000.0 / ref, "1.00", refCpu);
            for (int q = 0; q < 3; ++q) {
                for (bool turning : {false, true}) {
                    int seen = 0;
                    const double fps = scene(field, {size, q, samples}, frames, &seen, turning);
                    const QByteArray name = QByteArray(kQualities[q]) + (turning ? " turning" : "");
                    std::printf("%4dx%-5d %8d %-14s %8.1f %9.1f %12.2f %8.1f\n", size.width(),
                                size.height(), seen, name.constData(), fps, 1000.0 / fps, fps / ref,
                                lastCpuMs);
                    std::fflush(stdout);
                }
            }
        }
    }
    rebuildTimes(field);
    return 0;
}
