#include "scenegeometry.h"

SceneGeometry::SceneGeometry() = default;

SceneGeometry::~SceneGeometry() = default;

void SceneGeometry::rebuild(const GlCapabilities& caps, int fieldsizeX, int quality) {
    release();
    fieldsizeX_ = fieldsizeX;
    quality_ = quality;
    radius_ = SceneMeshes::fieldRadius(fieldsizeX);
    box_ = std::make_unique<GlMesh>(caps, SceneMeshes::box(quality));
    wireBox_ = std::make_unique<GlMesh>(caps, SceneMeshes::wireBox());
    outerWall_ = std::make_unique<GlMesh>(
        caps, SceneMeshes::fieldWall(fieldsizeX, SceneMeshes::outerWallRadius(fieldsizeX)));
    innerWall_ = std::make_unique<GlMesh>(
        caps, SceneMeshes::fieldWall(fieldsizeX, SceneMeshes::innerWallRadius(fieldsizeX)));
    baseTile_ = std::make_unique<GlMesh>(caps, SceneMeshes::baseTile(radius_));
    plainRoom_ = std::make_unique<GlMesh>(caps, SceneMeshes::plainRoom());
    stack_ = std::make_unique<GlMesh>(caps, SceneMeshes::stack({}, fieldsizeX, quality));
}

void SceneGeometry::rebuildStack(const GlCapabilities& caps,
                                 const std::vector<SceneMeshes::Cell>& cells, int revision) {
    stack_.reset();
    stack_ = std::make_unique<GlMesh>(caps, SceneMeshes::stack(cells, fieldsizeX_, quality_));
    stackRevision_ = revision;
}

void SceneGeometry::release() {
    box_.reset();
    wireBox_.reset();
    outerWall_.reset();
    innerWall_.reset();
    baseTile_.reset();
    plainRoom_.reset();
    stack_.reset();
    stackRevision_ = -1;
}

void SceneGeometry::forget() {
    for (auto* mesh :
         {&box_, &wireBox_, &outerWall_, &innerWall_, &baseTile_, &plainRoom_, &stack_}) {
        if (*mesh) {
            (*mesh)->forget();
        }
    }
    release();
}
