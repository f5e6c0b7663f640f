#pragma once

#include "glcapabilities.h"
#include "scenemeshes.h"

// One mesh on the graphics card: in buffer objects where the driver has them,
// else in a display list that draws the same vertices. Made and deleted with
// the context current.
class GlMesh {
public:
    GlMesh(const GlCapabilities& caps, const MeshData& data);
    ~GlMesh();
    GlMesh(const GlMesh&) = delete;
    GlMesh& operator=(const GlMesh&) = delete;

    // Between bind and unbind the mesh can be drawn many times (every box of
    // the field) with one set-up.
    void bind() const;
    void draw() const;
    void unbind() const;
    // Drops the names without deleting them: their context is gone.
    void forget() {
        buffers_[0] = buffers_[1] = 0;
        list_ = 0;
    }
    // All three, for a mesh drawn once.
    void drawOnce() const {
        bind();
        draw();
        unbind();
    }

private:
    const GlCapabilities& caps_;
    GLenum mode_;
    GLsizei count_;
    GLuint maxIndex_ = 0;
    GLuint buffers_[2] = {0, 0};  // vertices, indices
    GLuint list_ = 0;
};
