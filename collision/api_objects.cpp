// Object calls of the flat interface: creation, selection, placement and the test loop.
#include <vector>

#include "collision/broad_phase.h"
#include "collision/collision.h"
#include "collision/world.h"

namespace {

CollisionObject* Selected() { return g_collision.selected; }

// Brings the selected object's end points up to date with its transform (caching on).
void RefreshSelectedObject() {
  if (g_collision.caching && g_collision.selected) UpdateObjectBBox(*g_collision.selected);
}

// Takes an object out of the world; while a test loop runs it is freed only when the loop ends.
void DestroyObject(CollisionObject* object) {
  CollisionWorld& w = g_collision;
  if (w.selected == object) w.selected = nullptr;
  if (object->shape) --object->shape->users;
  RemoveObjectEncounters(object);
  if (w.testDepth > 0) {
    object->UnlinkEndpoints();
    object->dead = true;
    w.graveyard.push_back(object);
  } else {
    delete object;
  }
}

template <class Edit>
void EditSelected(Edit edit) {
  if (CollisionObject* o = Selected()) edit(o->current);
}

}  // namespace

void CreateCollisionObject(CollisionKey key, CollisionShape* shape) {
  CollisionWorld& w = g_collision;
  RefreshSelectedObject();
  auto it = w.objects.find(key);
  if (it != w.objects.end()) DestroyObject(it->second);
  if (!w.shapes.count(shape)) shape = nullptr;
  auto* object = new CollisionObject(key, shape, w.nextSerial++);
  if (shape) ++shape->users;
  w.objects[key] = object;
  w.selected = object;
}

void SelectCollisionObject(CollisionKey key) {
  CollisionWorld& w = g_collision;
  auto it = w.objects.find(key);
  if (it == w.objects.end()) return;
  RefreshSelectedObject();
  w.selected = it->second;
}

void DeleteCollisionObject(CollisionKey key) {
  CollisionWorld& w = g_collision;
  if (auto it = w.objects.find(key); it != w.objects.end()) {
    CollisionObject* object = it->second;
    w.objects.erase(it);
    DestroyObject(object);
  }
  RemoveKeyResponses(key);
}

void SetCollisionPosition(double x, double y, double z) {
  EditSelected([&](CollisionTransform& t) { TranslateTransform(t, {x, y, z}); });
}

void SetCollisionOrientation(double x, double y, double z, double w) {
  const double q[4] = {x, y, z, w};
  EditSelected([&](CollisionTransform& t) { RotateTransform(t, q); });
}

void SetCollisionScaling(double sx, double sy, double sz) {
  EditSelected([&](CollisionTransform& t) { ScaleTransform(t, sx, sy, sz); });
}

void ResetCollisionTransform() {
  EditSelected([](CollisionTransform& t) { SetTransformIdentity(t); });
}

void SetCollisionMatrixF(const float m[16]) {
  EditSelected([&](CollisionTransform& t) { SetTransformFromMatrixF(t, m); });
}

void SetCollisionMatrixD(const double m[16]) {
  EditSelected([&](CollisionTransform& t) { SetTransformFromMatrixD(t, m); });
}

void MultCollisionMatrixF(const float m[16]) {
  CollisionTransform other;
  SetTransformFromMatrixF(other, m);
  EditSelected([&](CollisionTransform& t) { MultiplyTransform(t, other); });
}

void MultCollisionMatrixD(const double m[16]) {
  CollisionTransform other;
  SetTransformFromMatrixD(other, m);
  EditSelected([&](CollisionTransform& t) { MultiplyTransform(t, other); });
}

void ProceedCollisions() {
  for (ComplexShape* shape : g_collision.complexShapes) shape->ProceedBase();
  for (auto& [key, object] : g_collision.objects) object->previous = object->current;
}

void EnableCollisionCaching() {
  for (auto& [key, object] : g_collision.objects) UpdateObjectBBox(*object);
  g_collision.caching = true;
}

void DisableCollisionCaching() { g_collision.caching = false; }

void SetCollisionTolerance(double relative) { g_collision.relativeTolerance = relative; }

int32_t TestAllCollisions() {
  CollisionWorld& w = g_collision;
  RefreshSelectedObject();
  // The pairs to test are gathered before the loop counts as running, so that memory running
  // out here leaves the world as it was. With caching, the encounters as they stand (a callback
  // may add or remove encounters while the loop runs); without, every pair in key order (i, then
  // j < i), but only those whose boxes, as placed when the loop starts, meet: the others cannot
  // collide.
  std::vector<EncounterPair> encounters;
  std::vector<CollisionObject*> objects;
  std::vector<uint64_t> meeting;
  if (w.caching) {
    encounters.reserve(w.encounters.size());
    for (const auto& [pair, v] : w.encounters) encounters.push_back(pair);
  } else {
    objects.reserve(w.objects.size());
    for (const auto& [key, object] : w.objects) objects.push_back(object);
    meeting = MeetingPairs(objects);
  }
  int32_t count = 0;
  ++w.testDepth;
  for (const EncounterPair& pair : encounters) {
    auto it = w.encounters.find(pair);
    if (it == w.encounters.end()) continue;
    if (TestCollisionPair(*pair.first, *pair.second, it->second)) ++count;
  }
  for (const uint64_t ij : meeting) {
    CollisionObject* i = objects[size_t(ij >> 32)];
    CollisionObject* j = objects[size_t(ij & 0xFFFFFFFFu)];
    if (i->dead || j->dead) continue;
    EncounterPair pair = OrderEncounter(j, i);
    Vec3 v{0, 0, 0};
    if (TestCollisionPair(*pair.first, *pair.second, v)) ++count;
  }
  if (--w.testDepth == 0) {
    for (CollisionObject* object : w.graveyard) delete object;
    w.graveyard.clear();
  }
  return count;
}
