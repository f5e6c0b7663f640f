#include "glmesh.h"

#include <algorithm>

namespace {

constexpr GLsizei kStride = MeshData::kFloats * sizeof(float);

const void* offset(int floats) {
    return reinterpret_cast<const void*>(std::uintptr_t(floats) * sizeof(float));
}

}  // namespace

GlMesh::GlMesh(const GlCapabilities& caps, const MeshData& data)
    : caps_(caps), mode_(data.mode), count_(GLsizei(data.indices.size())) {
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
                         GLsizeiptrARB(data.indices.size() * sizeof(GLushort)), data.indices.data(),
                         GL_STATIC_DRAW_ARB);
        caps_.bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
        caps_.bindBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
        return;
    }
    list_ = glGenLists(1);
    glNewList(list_, GL_COMPILE);
    glBegin(mode_);
    for (GLushort i : data.indices) {
        const float* v = data.vertices.data() + std::size_t(i) * MeshData::kFloats;
        glNormal3fv(v + 3);
        glTexCoord2fv(v + 6);
        glVertex3fv(v);
    }
    glEnd();
    glEndList();
}

GlMesh::~GlMesh() {
    if (buffers_[0] != 0) {
        caps_.deleteBuffers(2, buffers_);
    }
    if (list_ != 0) {
        glDeleteLists(list_, 1);
    }
}

void GlMesh::bind() const {
    if (list_ != 0) {
        return;
    }
    caps_.bindBuffer(GL_ARRAY_BUFFER_ARB, buffers_[0]);
    caps_.bindBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, buffers_[1]);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, kStride, offset(0));
    glNormalPointer(GL_FLOAT, kStride, offset(3));
    glTexCoordPointer(2, GL_FLOAT, kStride, offset(6));
}

void GlMesh::draw() const {
    if (list_ != 0) {
        glCallList(list_);
        return;
    }
    caps_.drawRangeElements(mode_, 0, maxIndex_, count_, GL_UNSIGNED_SHORT, nullptr);
}

void GlMesh::unbind() const {
    if (list_ != 0) {
        return;
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    caps_.bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
    caps_.bindBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
}
