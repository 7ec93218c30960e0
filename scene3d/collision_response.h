#pragma once
#include "collision/collision.h"

// The scene's answer to a colliding pair of objects, the collision library's default response
// (type 1, no client data): it records the hit for the collision queries.
void CollisionResponseRecordHit(void* clientData, CollisionKey first, CollisionKey second, const CollisionData* data);
