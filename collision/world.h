#pragma once
// The collision library's whole state, in one place, with its reset beside it.
#include <cstdint>
#include <map>
#include <unordered_set>
#include <vector>

#include "collision/collision.h"
#include "collision/complex_shape.h"
#include "collision/gjk.h"
#include "collision/responses.h"
#include "collision/sweep_prune.h"

struct CollisionWorld {
  // Complex-shape builder.
  ComplexShape* openShape = nullptr;
  std::vector<Vec3> collectedVertices;
  std::vector<uint32_t> collectedIndices;
  std::vector<Polytope*> collectedPolytopes;
  int32_t polytopeKind = kPolytopeSimplex;
  std::vector<ComplexShape*> complexShapes;  // finished complex shapes
  std::unordered_set<CollisionShape*> shapes;  // every live shape, so a reset frees them

  std::map<CollisionKey, CollisionObject*> objects;
  CollisionObject* selected = nullptr;
  uint64_t nextSerial = 0;
  ResponseTable responses;
  EncounterSet encounters;
  EndpointList axes[3];
  bool caching = true;
  double relativeTolerance = 1e-6;

  // Objects destroyed by a callback while a test loop runs are freed when the loop ends.
  int32_t testDepth = 0;
  std::vector<CollisionObject*> graveyard;

  GjkSimplex simplex;   // scratch of the running GJK test
  CollisionData data;   // the block handed to type 2 and 3 callbacks
};

extern CollisionWorld g_collision;
