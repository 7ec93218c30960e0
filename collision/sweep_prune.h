#pragma once
#include <cstdint>
#include <map>

#include "collision/collision.h"
#include "collision/shapes.h"
#include "collision/transform.h"

class CollisionObject;

// One end of an object's box on one axis, in that axis's sorted list.
struct SweepEndpoint {
  SweepEndpoint* next = nullptr;
  SweepEndpoint* prev = nullptr;
  double value = 0;
  int32_t kind = 0;  // 0 minimum, 1 maximum
  CollisionObject* object = nullptr;  // none for the sentinels
};

// Sorted end points of one axis between two sentinels (-1e50 and +1e50).
struct EndpointList {
  SweepEndpoint head;
  SweepEndpoint tail;

  EndpointList() { Clear(); }
  EndpointList(const EndpointList&) = delete;
  EndpointList& operator=(const EndpointList&) = delete;
  void Clear();
};

// A shape placed in the world under a client key.
class CollisionObject {
 public:
  // Identity transform, far box, end points linked just before the tail sentinels.
  CollisionObject(CollisionKey key, CollisionShape* shape, uint64_t serial);
  ~CollisionObject() { UnlinkEndpoints(); }
  CollisionObject(const CollisionObject&) = delete;
  CollisionObject& operator=(const CollisionObject&) = delete;

  CollisionTransform current;
  CollisionTransform previous;
  CollisionKey key;
  CollisionShape* shape;  // not owned; none once the shape was deleted
  BBox box;
  SweepEndpoint minimum[3];
  SweepEndpoint maximum[3];
  uint64_t serial;  // creation order: the stable identity that orders encounters
  bool dead = false;  // destroyed during a test loop, freed when the loop ends
  int32_t encounterCount = 0;  // spares the set lookup when an object has no encounter

  // Takes the six end points out of their lists (once; later calls do nothing).
  void UnlinkEndpoints();
};

// An ordered pair of objects that may collide: the complex-shaped object first, else the
// older one.
struct EncounterPair {
  CollisionObject* first;
  CollisionObject* second;
};
EncounterPair OrderEncounter(CollisionObject* a, CollisionObject* b);

struct EncounterLess {
  bool operator()(const EncounterPair& a, const EncounterPair& b) const {
    if (a.first->serial != b.first->serial) return a.first->serial < b.first->serial;
    return a.second->serial < b.second->serial;
  }
};
// Each encounter keeps its GJK search vector from test to test.
using EncounterSet = std::map<EncounterPair, Vec3, EncounterLess>;

// Recomputes the object's box from its shape and current transform and moves its six end
// points; the passes between end points add and remove encounters.
void UpdateObjectBBox(CollisionObject& object);
void MoveSweepEndpoint(SweepEndpoint& e, double value);
void AddEncounter(CollisionObject* a, CollisionObject* b);
void RemoveEncounter(CollisionObject* a, CollisionObject* b);
// Removes every encounter that names the object.
void RemoveObjectEncounters(CollisionObject* object);
