// Collision settings of 3D objects, the collision queries, and the sphere, size, screen and
// statistic queries.
#include <cmath>

#include "display/record_pools.h"
#include "model/mesh_node.h"
#include "model/model_handle.h"
#include "scene3d/camera.h"
#include "scene3d/commands.h"
#include "scene3d/object_collision.h"
#include "scene3d/object_operands.h"
#include "scene3d/scene_state.h"

namespace {

void CmdEnableCollisions() { g_scene.collision.enabled = 1; }
void CmdDisableCollisions() { g_scene.collision.enabled = 0; }

// Library mode's shapes of the kind given to the model (sizes 0: the mesh's last ones).
void GiveShapes(uint32_t r, int32_t kind) {
  Obj(r).limbShapesWhole = 0;
  if (Obj(r).model) ModelHandleSetCollisionShape(*Obj(r).model, r, kind, 0, 0, 0);
}

// The model's collision objects and shapes go; the queries no longer see the object.
void RemoveShapes(uint32_t r) {
  Obj(r).limbShapesWhole = 0;
  ForgetObjectCollision(r);
  if (Obj(r).model) ModelHandleRemoveCollision(*Obj(r).model);
}

void CmdCollisionOn() {
  if (const uint32_t r = ObjectOperand(0)) {
    Obj(r).collisionOn = 1;
    if (Obj(r).boxCollision == 0) GiveShapes(r, Obj(r).collisionShape);
    g_scene.sceneChanged = 1;
  }
  SkipOperands(1);
}

void CmdCollisionOff() {
  if (const uint32_t r = ObjectOperand(0)) {
    Obj(r).collisionOn = 0;
    RemoveShapes(r);
    g_scene.sceneChanged = 1;
  }
  SkipOperands(1);
}

// Library mode with shapes of the kind.
void SetLibraryKind(int32_t kind) {
  if (const uint32_t r = ObjectOperand(0)) {
    Obj(r).boxCollision = 0;
    Obj(r).collisionShape = kind;
    GiveShapes(r, kind);
    g_scene.sceneChanged = 1;
  }
  SkipOperands(1);
}
void CmdCollisionSpheres() { SetLibraryKind(kShapeFittedSphere); }
void CmdCollisionPolygons() { SetLibraryKind(kShapePolygons); }
void CmdCollisionBoxes() { SetLibraryKind(kShapeFittedBox); }

// Box mode with the box (x1, y1, z1)-(x2, y2, z2) about the position; f = 1 an oriented box
// without push-back, otherwise an axis-aligned one with push-back.
void CmdMakeCollisionBox() {
  if (const uint32_t r = ObjectOperand(0)) {
    ObjectRecord& o = Obj(r);
    o.boxCollision = 1;
    for (int i = 0; i < 3; ++i) {
      o.boxMin[i] = OpFloat(1 + i);
      o.boxMax[i] = OpFloat(4 + i);
      o.boxCentre[i] = o.boxMin[i] + (o.boxMax[i] - o.boxMin[i]) * 0.5f;
    }
    const bool oriented = OpInt(7) == 1;
    o.boxPushBack = oriented ? 0 : 1;
    o.boxAxisAligned = oriented ? 0 : 1;
    RemoveShapes(r);
    g_scene.sceneChanged = 1;
  }
  SkipOperands(8);
}

// Library mode again; the shapes are not given back.
void CmdDeleteCollisionBox() {
  if (const uint32_t r = ObjectOperand(0)) Obj(r).boxCollision = 0;
  SkipOperands(1);
}

// Result, object a, object b (0 any). beginsOnly: a contact answers only on its first query.
void CollisionQuery(bool beginsOnly) {
  if (const uint32_t a = ObjectOperand(1); a && CheckLimbExists(a, 0)) {
    const int32_t r = ObjectCollisionQuery(a, OpInt(2));
    OpCell(0)->i = !beginsOnly || (r > 0 && Obj(a).lastHit == 0) ? r : 0;
    Obj(a).lastHit = r;
  }
  SkipOperands(3);
}
void CmdObjectHit() { CollisionQuery(true); }
void CmdObjectCollision() { CollisionQuery(false); }

// Result, object number.
template <class F>
void FloatQuery(F&& read) {
  if (const uint32_t r = ObjectOperand(1)) OpCell(0)->f = read(Obj(r));
  SkipOperands(2);
}
void CmdSphereRadius() { FloatQuery([](const ObjectRecord& o) { return o.sphereRadius; }); }
void CmdSphereCentreX() { FloatQuery([](const ObjectRecord& o) { return o.sphereCentre[0]; }); }
void CmdSphereCentreY() { FloatQuery([](const ObjectRecord& o) { return o.sphereCentre[1]; }); }
void CmdSphereCentreZ() { FloatQuery([](const ObjectRecord& o) { return o.sphereCentre[2]; }); }
void CmdSize() { FloatQuery([](const ObjectRecord& o) { return o.size; }); }
void CmdSizeX() { FloatQuery([](const ObjectRecord& o) { return o.sizeX; }); }
void CmdSizeY() { FloatQuery([](const ObjectRecord& o) { return o.sizeY; }); }
void CmdSizeZ() { FloatQuery([](const ObjectRecord& o) { return o.sizeZ; }); }

// Screen query: which = 0 x, 1 y, 2 the in-view flag.
void ScreenQuery(int which) {
  if (const uint32_t r = ObjectOperand(1)) {
    int32_t v[3];
    ProjectFrameToScreen(Obj(r).frameIndex, &v[2], &v[0], &v[1]);
    OpCell(0)->i = v[which];
  }
  SkipOperands(2);
}
void CmdScreenX() { ScreenQuery(0); }
void CmdScreenY() { ScreenQuery(1); }
void CmdInScreen() { ScreenQuery(2); }

// Statistic 1: the polygons drawn in the last frame; every other: 0.
void CmdStatistic() {
  OpCell(0)->i = OpInt(1) == 1 ? int32_t(g_scene.render.drawnIndices / 3) : 0;
  SkipOperands(2);
}

const CommandDef kCollisionCommands[] = {
    {7061, CmdEnableCollisions, ""},
    {7062, CmdDisableCollisions, ""},
    {7063, CmdCollisionOn, "l"},
    {7064, CmdCollisionOff, "l"},
    {7067, CmdCollisionSpheres, "l"},
    {7071, CmdCollisionPolygons, "l"},
    {7074, CmdCollisionBoxes, "l"},
    {7092, CmdMakeCollisionBox, "lffffffl"},
    {7093, CmdDeleteCollisionBox, "l"},
    {7519, CmdObjectHit, "lll"},
    {7520, CmdObjectCollision, "lll"},
    {7661, CmdSphereRadius, "fl"},
    {7662, CmdSphereCentreX, "fl"},
    {7663, CmdSphereCentreY, "fl"},
    {7664, CmdSphereCentreZ, "fl"},
    {7671, CmdSize, "fl"},
    {7672, CmdScreenX, "ll"},
    {7673, CmdScreenY, "ll"},
    {7674, CmdInScreen, "ll"},
    {7675, CmdStatistic, "ll"},
    {7676, CmdSizeX, "fl"},
    {7677, CmdSizeY, "fl"},
    {7678, CmdSizeZ, "fl"},
};

}  // namespace

std::span<const CommandDef> CollisionCommands() { return kCollisionCommands; }
