#pragma once
#include <map>
#include <utility>

#include "collision/collision.h"
#include "collision/sweep_prune.h"

// Who is called back for which pairs. Pair keys are stored smaller first.
struct ResponseTable {
  CollisionResponse defaultResponse;
  std::map<CollisionKey, CollisionResponse> objects;
  std::map<std::pair<CollisionKey, CollisionKey>, CollisionResponse> pairs;
};

inline std::pair<CollisionKey, CollisionKey> PairKey(CollisionKey a, CollisionKey b) {
  return a < b ? std::make_pair(a, b) : std::make_pair(b, a);
}

const CollisionResponse& FindResponse(CollisionKey first, CollisionKey second);
// Erases the key's object response and every pair response that names it.
void RemoveKeyResponses(CollisionKey key);

// Pair tests, dispatched on the shapes' kinds; a's shape is complex whenever b's is.
bool IntersectObjects(CollisionObject& a, CollisionObject& b, Vec3& v);
bool CommonPointObjects(CollisionObject& a, CollisionObject& b, Vec3& v, Vec3& pa, Vec3& pb);
bool PreviousPointsObjects(CollisionObject& a, CollisionObject& b, Vec3& v, Vec3& pa, Vec3& pb);

// Tests one ordered pair under its response and calls back when it collides.
bool TestCollisionPair(CollisionObject& a, CollisionObject& b, Vec3& v);
