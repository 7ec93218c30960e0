// Response calls of the flat interface; every call replaces what was there.
#include "collision/collision.h"
#include "collision/world.h"

void SetDefaultCollisionResponse(CollisionCallback callback, int32_t type, void* clientData) {
  g_collision.responses.defaultResponse = {callback, type, clientData};
}

void SetObjectCollisionResponse(CollisionKey key, CollisionCallback callback, int32_t type, void* clientData) {
  g_collision.responses.objects[key] = {callback, type, clientData};
}

void ClearObjectCollisionResponse(CollisionKey key) { g_collision.responses.objects[key] = {}; }

void ResetObjectCollisionResponse(CollisionKey key) { g_collision.responses.objects.erase(key); }

void SetPairCollisionResponse(CollisionKey key1, CollisionKey key2, CollisionCallback callback, int32_t type,
                              void* clientData) {
  g_collision.responses.pairs[PairKey(key1, key2)] = {callback, type, clientData};
}

void ClearPairCollisionResponse(CollisionKey key1, CollisionKey key2) {
  g_collision.responses.pairs[PairKey(key1, key2)] = {};
}

void ResetPairCollisionResponse(CollisionKey key1, CollisionKey key2) {
  g_collision.responses.pairs.erase(PairKey(key1, key2));
}
