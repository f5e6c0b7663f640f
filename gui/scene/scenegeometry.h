#pragma once

#include <QMutex>
#include <memory>
#include <vector>

#include "glmesh.h"

// The scene's fixed meshes for one field width and quality: glass walls, base
// tile, box, marker box and the plain room. Rebuilt whole when either changes;
// the mutex keeps a rebuild and a frame apart.
class SceneGeometry {
public:
    SceneGeometry();
    ~SceneGeometry();

    QMutex& mutex() { return mutex_; }

    // Both need the context current and the mutex held.
    void rebuild(const GlCapabilities& caps, int fieldsizeX, int quality);
    void release();
    // Drops the meshes without GL calls, when their context is gone.
    void forget();

    // The landed boxes as one mesh, rebuilt when the field copy says they
    // changed; also needs the context current and the mutex held.
    void rebuildStack(const GlCapabilities& caps, const std::vector<SceneMeshes::Cell>& cells,
                      int revision);
    int stackRevision() const { return stackRevision_; }
    const GlMesh& stack() const { return *stack_; }

    bool built() const { return box_ != nullptr; }
    bool matches(int fieldsizeX, int quality) const {
        return built() && fieldsizeX == fieldsizeX_ && quality == quality_;
    }
    int fieldsizeX() const { return fieldsizeX_; }
    float radius() const { return radius_; }

    const GlMesh& box() const { return *box_; }
    const GlMesh& wireBox() const { return *wireBox_; }
    const GlMesh& outerWall() const { return *outerWall_; }
    const GlMesh& innerWall() const { return *innerWall_; }
    const GlMesh& baseTile() const { return *baseTile_; }
    const GlMesh& plainRoom() const { return *plainRoom_; }

private:
    QMutex mutex_;
    int fieldsizeX_ = 0;
    int quality_ = -1;
    float radius_ = 0;
    std::unique_ptr<GlMesh> box_;
    std::unique_ptr<GlMesh> wireBox_;
    std::unique_ptr<GlMesh> outerWall_;
    std::unique_ptr<GlMesh> innerWall_;
    std::unique_ptr<GlMesh> baseTile_;
    std::unique_ptr<GlMesh> plainRoom_;
    std::unique_ptr<GlMesh> stack_;
    int stackRevision_ = -1;
};
