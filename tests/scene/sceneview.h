#pragma once

// A bare view drawing a field copy as the game does: scene, then preview panels.
#include <QOpenGLPaintDevice>
#include <QOpenGLWidget>
#include <QOpenGLWindow>
#include <QPainter>
#include <QSurfaceFormat>
#include <functional>

#include "gui/scene/multisampledframe.h"
#include "gui/scene/previewpainter.h"
#include "gui/scene/scenefield.h"
#include "gui/scene/scenerenderer.h"

// The context the game asks for; set before the application starts.
inline void setSceneDefaultFormat(int samples) {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    format.setSamples(samples);
    format.setSwapInterval(0);
    QSurfaceFormat::setDefaultFormat(format);
}

// Base: QOpenGLWidget (composed, as the game drew before) or QOpenGLWindow (as now).
template <typename Base>
class BasicSceneView : public Base {
public:
    BasicSceneView(const SceneField& field, SceneTextures textures, GlAllow allow = {})
        : field_(field), renderer_(std::move(textures)), allow_(allow) {}
    ~BasicSceneView() override {
        this->makeCurrent();
        renderer_.release();
        frame_.release();
        this->doneCurrent();
    }

    SceneOptions options;
    int preview = PreviewPainter::Off;
    float scale = 1.0f;
    // Painted after the scene, as the game's 2D layer would be.
    std::function<void(QPainter&)> overlay;
    // Above 1: drawn into a multisampled frame of its own, as the game does.
    int frameSamples = 0;
    int samples = -1;  // GL_SAMPLES seen while painting
    int painted = 0;

    SceneRenderer& renderer() { return renderer_; }

protected:
    void initializeGL() override { renderer_.initialize(allow_); }
    void paintGL() override {
        ++painted;
        const QSize pixels = this->size() * this->devicePixelRatio();
        frame_.begin(*this->context(), pixels, frameSamples, this->defaultFramebufferObject());
        glGetIntegerv(GL_SAMPLES, &samples);
        renderer_.beginFrame();
        renderer_.drawViews(field_, options, pixels);
        renderer_.endFrame();
        {
            QPainter painter(&frame_.paintDevice(pixels, this->devicePixelRatio()));
            painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
            PreviewPainter::paint(painter, field_, preview, this->size(), scale,
                                  options.splitscreen);
            if (overlay) {
                overlay(painter);
            }
        }
        frame_.end();
    }

private:
    const SceneField& field_;
    SceneRenderer renderer_;
    MultisampledFrame frame_;
    GlAllow allow_;
};

using SceneView = BasicSceneView<QOpenGLWidget>;
using SceneWindow = BasicSceneView<QOpenGLWindow>;
