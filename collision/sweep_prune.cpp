#include "collision/sweep_prune.h"

#include <algorithm>
#include <cmath>

#include "collision/world.h"

namespace {

// End points stay strictly inside the sentinels, so no walk ever passes one.
constexpr double kEndpointLimit = 1e49;

// a comes before b: lower value, or the same value with a minimum before a maximum.
inline bool Before(const SweepEndpoint& a, const SweepEndpoint& b) {
  return a.value < b.value || (a.value == b.value && a.kind < b.kind);
}

void LinkBefore(SweepEndpoint& e, SweepEndpoint& n) {
  e.next = &n;
  e.prev = n.prev;
  n.prev->next = &e;
  n.prev = &e;
}

void LinkAfter(SweepEndpoint& e, SweepEndpoint& p) {
  e.prev = &p;
  e.next = p.next;
  p.next->prev = &e;
  p.next = &e;
}

void Unlink(SweepEndpoint& e) {
  e.prev->next = e.next;
  e.next->prev = e.prev;
}

// b ends up before a (a was before b).
void Pass(const SweepEndpoint& a, const SweepEndpoint& b) {
  if (a.kind == b.kind || a.object == b.object || !a.object || !b.object) return;
  if (a.kind == 0)
    RemoveEncounter(a.object, b.object);
  else if (BoxesOverlap(a.object->box, b.object->box))
    AddEncounter(a.object, b.object);
}

}  // namespace

void EndpointList::Clear() {
  head = {};
  tail = {};
  head.value = -1e50;
  tail.value = 1e50;
  head.next = &tail;
  tail.prev = &head;
}

CollisionObject::CollisionObject(CollisionKey k, CollisionShape* s, uint64_t id)
    : key(k), shape(s), box(FarBBox()), serial(id) {
  SetTransformIdentity(current);
  for (int axis = 0; axis < 3; ++axis) {
    minimum[axis] = {nullptr, nullptr, 1e50, 0, this};
    LinkBefore(minimum[axis], g_collision.axes[axis].tail);
  }
  for (int axis = 0; axis < 3; ++axis) {
    maximum[axis] = {nullptr, nullptr, 1e50, 1, this};
    LinkBefore(maximum[axis], g_collision.axes[axis].tail);
  }
  previous = current;
}

void CollisionObject::UnlinkEndpoints() {
  for (SweepEndpoint* ends : {minimum, maximum})
    for (int axis = 0; axis < 3; ++axis) {
      SweepEndpoint& e = ends[axis];
      Unlink(e);
      e.prev = e.next = &e;
    }
}

EncounterPair OrderEncounter(CollisionObject* a, CollisionObject* b) {
  bool ca = !a->shape || a->shape->isConvex(), cb = !b->shape || b->shape->isConvex();
  if (ca != cb) return ca ? EncounterPair{b, a} : EncounterPair{a, b};
  return a->serial < b->serial ? EncounterPair{a, b} : EncounterPair{b, a};
}

void MoveSweepEndpoint(SweepEndpoint& e, double value) {
  if (std::isnan(value)) value = kEndpointLimit;
  value = std::clamp(value, -kEndpointLimit, kEndpointLimit);
  double d = value - e.value;
  e.value = value;
  if (d < 0) {
    if (!Before(e, *e.prev)) return;
    SweepEndpoint* p = e.prev;
    Unlink(e);
    do {
      Pass(*p, e);
      p = p->prev;
    } while (Before(e, *p));
    LinkAfter(e, *p);
  } else if (d > 0) {
    if (!Before(*e.next, e)) return;
    SweepEndpoint* n = e.next;
    Unlink(e);
    do {
      Pass(e, *n);
      n = n->next;
    } while (Before(*n, e));
    LinkBefore(e, *n);
  }
}

void UpdateObjectBBox(CollisionObject& object) {
  BBox box = object.shape ? object.shape->bbox(object.current) : FarBBox();
  if (!IsFinite(box.centre) || !IsFinite(box.extent)) box = FarBBox();
  object.box = box;
  for (int axis = 0; axis < 3; ++axis) MoveSweepEndpoint(object.minimum[axis], box.centre[axis] - box.extent[axis]);
  for (int axis = 0; axis < 3; ++axis) MoveSweepEndpoint(object.maximum[axis], box.centre[axis] + box.extent[axis]);
}

void AddEncounter(CollisionObject* a, CollisionObject* b) {
  if (g_collision.encounters.try_emplace(OrderEncounter(a, b), Vec3{0, 0, 0}).second) {
    ++a->encounterCount;
    ++b->encounterCount;
  }
}

void RemoveEncounter(CollisionObject* a, CollisionObject* b) {
  if (a->encounterCount == 0 || b->encounterCount == 0) return;
  if (g_collision.encounters.erase(OrderEncounter(a, b))) {
    --a->encounterCount;
    --b->encounterCount;
  }
}

void RemoveObjectEncounters(CollisionObject* object) {
  if (object->encounterCount == 0) return;
  std::erase_if(g_collision.encounters, [object](const auto& e) {
    if (e.first.first != object && e.first.second != object) return false;
    --e.first.first->encounterCount;
    --e.first.second->encounterCount;
    return true;
  });
}
