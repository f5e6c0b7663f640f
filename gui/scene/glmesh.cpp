#include "glmesh.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr GLsizei kStride = MeshData::kFloats * sizeof(float);

const void* offset(std::size_t bytes) {
    return reinterpret_cast<const void*>(std::uintptr_t(bytes));
}

}  // namespace

GlMesh::GlMesh(const GlCapabilities& caps, const MeshData& data)
    : caps_(caps), mode_(data.mode), parts_(data.parts) {
    if (parts_.empty()) {
        parts_.push_back({-1, 0, int(data.indices.size())});
    }
    if (!data.indices.empty()) {
        maxIndex_ = *std::max_element(data.indices.begin(), data.indices.end());
    }
    if (caps_.vertexBuffers) {
        caps_.genBuffers(2, buffers_);
        caps_.bindBuffer(GL_ARRAY_BUFFER_ARB, buffers_[0]);
        caps_.bufferData(GL_ARRAY_BUFFER_ARB, GLsizeiptrARB(data.vertices.size() * sizeof(float)),
                         data.vertices.data(), GL_STATIC_DRAW_ARB);
        caps_.bindBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, buffers_[1]);
        caps_.bufferData(GL_ELEMENT_ARRAY_BUFFER_ARB,
                         GLsizeiptrARB(data.indices.size() * sizeof(GLuint)), data.indices.data(),
                         GL_STATIC_DRAW_ARB);
        caps_.bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
        caps_.bindBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
        return;
    }
    lists_ = glGenLists(GLsizei(parts_.size()));
    for (std::size_t p = 0; p < parts_.size(); ++p) {
        glNewList(lists_ + GLuint(p), GL_COMPILE);
        glBegin(mode_);
        const auto first = data.indices.begin() + parts_[p].first;
        for (auto i = first; i != first + parts_[p].count; ++i) {
            const float* v = data.vertices.data() + std::size_t(*i) * MeshData::kFloats;
            glNormal3fv(v + 3);
            glTexCoord2fv(v + 6);
            glVertex3fv(v);
        }
        glEnd();
        glEndList();
    }
}

GlMesh::~GlMesh() {
    if (buffers_[0] != 0) {
        caps_.deleteBuffers(2, buffers_);
    }
    if (lists_ != 0) {
        glDeleteLists(lists_, GLsizei(parts_.size()));
    }
}

void GlMesh::bind() const {
    if (lists_ != 0) {
        return;
    }
    caps_.bindBuffer(GL_ARRAY_BUFFER_ARB, buffers_[0]);
    caps_.bindBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, buffers_[1]);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, kStride, offset(0));
    glNormalPointer(GL_FLOAT, kStride, offset(3 * sizeof(float)));
    glTexCoordPointer(2, GL_FLOAT, kStride, offset(6 * sizeof(float)));
}

void GlMesh::draw() const {
    for (int p = 0; p < partCount(); ++p) {
        drawPart(p);
    }
}

void GlMesh::drawPart(int part) const {
    if (lists_ != 0) {
        glCallList(lists_ + GLuint(part));
        return;
    }
    const MeshData::Part& p = parts_.at(std::size_t(part));
    caps_.drawRangeElements(mode_, 0, maxIndex_, p.count, GL_UNSIGNED_INT,
                            offset(std::size_t(p.first) * sizeof(GLuint)));
}

void GlMesh::unbind() const {
    if (lists_ != 0) {
        return;
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    caps_.bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
    caps_.bindBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
}
