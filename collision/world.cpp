#include "collision/world.h"

CollisionWorld g_collision;

void ResetCollisionWorld() {
  CollisionWorld& w = g_collision;
  if (w.testDepth > 0) return;  // not from inside a callback: the test loop still walks the world
  for (auto& [key, object] : w.objects) delete object;
  w.objects.clear();
  for (CollisionObject* object : w.graveyard) delete object;
  w.graveyard.clear();
  for (Polytope* p : w.collectedPolytopes) delete p;
  w.collectedPolytopes.clear();
  for (CollisionShape* shape : w.shapes) delete shape;
  w.shapes.clear();
  w.openShape = nullptr;
  w.collectedVertices.clear();
  w.collectedIndices.clear();
  w.polytopeKind = kPolytopeSimplex;
  w.complexShapes.clear();
  w.selected = nullptr;
  w.nextSerial = 0;
  w.responses = ResponseTable{};
  w.encounters.clear();
  for (EndpointList& axis : w.axes) axis.Clear();
  w.caching = true;
  w.relativeTolerance = 1e-6;
  w.testDepth = 0;
  w.simplex = GjkSimplex{};
  w.data = CollisionData{};
}
