#pragma once

#include <vector>

#include "glcapabilities.h"
#include "scenemeshes.h"

// One mesh on the graphics card: in buffer objects where the driver has them,
// else in display lists (one per part) that draw the same vertices. Made and
// deleted with the context current.
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
    // All three, for a mesh drawn once.
    void drawOnce() const {
        bind();
        draw();
        unbind();
    }

    // The parts of a mesh built in colours; a mesh without parts has one.
    int partCount() const { return int(parts_.size()); }
    int partColour(int part) const { return parts_.at(std::size_t(part)).colour; }
    // Draws one part; needs bind.
    void drawPart(int part) const;

    // Drops the names without deleting them: their context is gone.
    void forget() {
        buffers_[0] = buffers_[1] = 0;
        lists_ = 0;
    }

private:
    const GlCapabilities& caps_;
    GLenum mode_;
    std::vector<MeshData::Part> parts_;
    GLuint maxIndex_ = 0;
    GLuint buffers_[2] = {0, 0};  // vertices, indices
    GLuint lists_ = 0;            // the first of one list per part
};
