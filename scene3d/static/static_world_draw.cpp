// The static world's visibility passes (sphere cull, occluders, occlusion, parents) and its
// batched drawing.
#include <algorithm>
#include <cstring>

#include "display/textures.h"
#include "platform/math3d.h"
#include "scene3d/render_states.h"
#include "scene3d/scene_state.h"
#include "scene3d/static/static_world.h"

namespace {

struct Rect {
  float x0, y0, x1, y1;
};

float Clamp1(float v) { return std::clamp(v, -1.0f, 1.0f); }

// Sphere pass for one object: its projected centre and radii, relative depth and visible byte.
void SphereTest(StaticObject& o, const float worldView[16], const float projection[16], float farPlane) {
  float c[3];
  TransformPointProjected(c, o.centre, worldView);
  const float z = c[2];
  float pc[3] = {0, 0, 0}, pr[3] = {0, 0, 0}, pv[3] = {0, 0, 0};
  const float r[3] = {o.radius, 0, z}, v[3] = {0, o.verticalRadius, z};
  TransformPointProjected(pc, c, projection);
  TransformPointProjected(pr, r, projection);
  TransformPointProjected(pv, v, projection);
  o.projectedCentre[0] = pc[0], o.projectedCentre[1] = pc[1];
  o.projectedRadius = pr[0];
  o.projectedVertical = pv[1];
  if (z < 20) {
    // Too near for its projection to bound it: it covers the screen.
    o.projectedCentre[0] = o.projectedCentre[1] = 0;
    o.projectedRadius = o.projectedVertical = 2;
  }
  bool outside = z + o.radius < 0 || !(z - o.radius < farPlane);
  if (z >= 20) {
    const float pradius = pr[0];
    outside = outside || pc[0] + pradius <= -1 || pc[0] - pradius >= 1 || pc[1] + pradius <= -1 ||
              pc[1] - pradius >= 1;
  }
  o.visible = !outside;
  o.relativeDepth = farPlane != 0 ? z / farPlane : 0;
}

// The occluder's screen rectangle from its shape points; false when it does not occlude.
bool OccluderRect(StaticObject& o, const float worldView[16], const float projection[16]) {
  Rect r{999999.875f, 999999.875f, -999999.875f, -999999.875f};
  int behind = 0;
  for (int k = 0; k < 8; ++k) {
    const float p[3] = {o.centre[0] + o.shapePoints[3 * k], o.centre[1] + o.shapePoints[3 * k + 1],
                        o.centre[2] + o.shapePoints[3 * k + 2]};
    float e[3], s[3];
    TransformPointProjected(e, p, worldView);
    if (e[2] <= 0 || TransformPointProjected(s, e, projection) != kMathOk) {
      // Behind the camera: on the screen's edge on its side.
      ++behind;
      s[0] = e[0] < 0 ? -1.0f : 1.0f;
      s[1] = e[1] < 0 ? -1.0f : 1.0f;
    }
    r.x0 = std::min(r.x0, s[0]), r.x1 = std::max(r.x1, s[0]);
    r.y0 = std::min(r.y0, s[1]), r.y1 = std::max(r.y1, s[1]);
  }
  if (behind >= 4) return false;
  if (o.fullHeight) r.y0 = -1, r.y1 = 1;
  if (!(o.relativeDepth > 0)) return false;
  o.screen[0] = r.x0, o.screen[1] = r.y0, o.screen[2] = r.x1, o.screen[3] = r.y1;
  o.screenDepth = o.relativeDepth;
  o.screenValid = 1;
  return true;
}

// True when the occluders in front of the object cover its screen rectangle.
bool Occluded(const StaticObject& o, const std::vector<StaticObject*>& occluders) {
  const float ry = o.low ? o.projectedVertical : o.projectedRadius;
  Rect r{Clamp1(o.projectedCentre[0] - o.projectedRadius), Clamp1(o.projectedCentre[1] - ry),
         Clamp1(o.projectedCentre[0] + o.projectedRadius), Clamp1(o.projectedCentre[1] + ry)};
  for (const StaticObject* c : occluders) {
    if (c == &o || !(c->screenDepth < o.relativeDepth)) continue;
    const Rect q{c->screen[0], c->screen[1], c->screen[2], c->screen[3]};
    if (q.x0 > r.x1 || q.x1 < r.x0 || q.y0 > r.y1 || q.y1 < r.y0) continue;
    // An occluder across the whole width trims the covered side off the height, and one over
    // the whole height trims the width.
    if (q.x0 <= r.x0 && q.x1 >= r.x1) {
      if (q.y0 <= r.y0) r.y0 = std::max(r.y0, q.y1);
      else if (q.y1 >= r.y1) r.y1 = std::min(r.y1, q.y0);
    }
    if (q.y0 <= r.y0 && q.y1 >= r.y1) {
      if (q.x0 <= r.x0) r.x0 = std::max(r.x0, q.x1);
      else if (q.x1 >= r.x1) r.x1 = std::min(r.x1, q.x0);
    }
    if (r.x0 >= r.x1 || r.y0 >= r.y1) return true;
    if (q.x0 <= r.x0 && q.x1 >= r.x1 && q.y0 <= r.y0 && q.y1 >= r.y1) return true;
  }
  return false;
}

struct Batch {
  Device3D& device;
  uint32_t vertices = 0, indices = 0, drawn = 0;
  void Flush() {
    // An empty batch is not drawn.
    if (indices > 0) {
      device.DrawIndexed(g_staticWorld.batchVertices.data(), vertices, g_staticWorld.batchIndices.data(), indices);
      drawn += indices;
    }
    vertices = indices = 0;
  }
};

}  // namespace

void UpdateStaticVisibility(const float world[16], const float view[16], const float projection[16], float farPlane) {
  StaticWorldState& w = g_staticWorld;
  if (w.groups.empty()) return;
  float worldView[16];
  MultiplyMatrix4x4(worldView, world, view);
  bool anyVisible = false;
  for (StaticTextureGroup& g : w.groups)
    for (auto& o : g.objects) {
      o->screenValid = 0;
      // A copy of an object draws under its parent; one inside no level object tests itself.
      if (o->id > 0 && o->parent) {
        o->visible = 0;
        continue;
      }
      SphereTest(*o, worldView, projection, farPlane);
      anyVisible = anyVisible || o->visible;
    }
  if (anyVisible && w.occlusion) {
    std::vector<StaticObject*> occluders;
    for (StaticTextureGroup& g : w.groups)
      for (auto& o : g.objects)
        if (o->visible && o->occluder && OccluderRect(*o, worldView, projection)) occluders.push_back(o.get());
    if (!occluders.empty())
      for (StaticTextureGroup& g : w.groups)
        for (auto& o : g.objects)
          if (o->visible && Occluded(*o, occluders)) o->visible = 0;
  }
  for (StaticTextureGroup& g : w.groups)
    for (auto& o : g.objects)
      if (o->id > 0 && o->parent) o->visible = o->parent->visible;
}

uint32_t RenderStaticWorld(Device3D& device, const float world[16], const float view[16], const float projection[16],
                           float farPlane) {
  StaticWorldState& w = g_staticWorld;
  w.drawnPrimitives = 0;
  if (w.groups.empty()) return 0;
  UpdateStaticVisibility(world, view, projection, farPlane);
  Batch batch{device};
  for (StaticTextureGroup& g : w.groups) {
    bool textureSet = false;
    for (auto& o : g.objects) {
      if (!o->visible || o->vertices.empty() || o->indices.empty()) continue;
      if (!textureSet) {
        TextureContainer* t = g.texture > 0 ? TextureAt(uint32_t(g.texture)) : nullptr;
        device.SetTexture(0, t ? t->Handle() : 0);
        textureSet = true;
      }
      const uint32_t nv = uint32_t(o->vertices.size()), ni = uint32_t(o->indices.size());
      if (batch.vertices + nv >= kStaticBatchVertices) batch.Flush();
      if (batch.vertices + nv > w.batchVertices.size()) w.batchVertices.resize(batch.vertices + nv);
      if (batch.indices + ni > w.batchIndices.size()) w.batchIndices.resize(batch.indices + ni);
      std::memcpy(&w.batchVertices[batch.vertices], o->vertices.data(), nv * sizeof(Vertex));
      for (uint32_t i = 0; i < ni; ++i) w.batchIndices[batch.indices + i] = o->indices[i] + batch.vertices;
      batch.vertices += nv, batch.indices += ni;
    }
    batch.Flush();
  }
  w.drawnPrimitives = batch.drawn;
  return batch.drawn;
}

uint32_t DrawStaticWorld(Device3D& device) {
  StaticWorldState& w = g_staticWorld;
  if (w.groups.empty()) return w.drawnPrimitives = 0;
  // Fill and address mode go through the render's cache, as the objects' states do after it.
  g_scene.render.switches.staticWireframe = uint8_t(w.wireframe ? 1 : 0);
  g_scene.render.switches.staticAddressMode = w.addressMode;
  ApplyDefaultRenderStates();
  const CameraState& c = g_scene.camera;
  return RenderStaticWorld(device, c.world, c.view, c.projection, c.farPlane);
}
