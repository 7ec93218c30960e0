// Shape calls of the flat interface: primitives and the complex-shape builder.
#include <algorithm>

#include "collision/collision.h"
#include "collision/world.h"

namespace {

template <class Shape, class... Args>
CollisionShape* Register(Args... args) {
  CollisionShape* shape = new Shape(args...);
  g_collision.shapes.insert(shape);
  return shape;
}

// Vertices are compared only with the last ones collected: meshes repeat their neighbours.
constexpr size_t kVertexReuseWindow = 20;

}  // namespace

CollisionShape* CreateCollisionBox(double x, double y, double z) { return Register<BoxShape>(x, y, z); }
CollisionShape* CreateCollisionCone(double radius, double height) { return Register<ConeShape>(radius, height); }
CollisionShape* CreateCollisionCylinder(double radius, double height) {
  return Register<CylinderShape>(radius, height);
}
CollisionShape* CreateCollisionSphere(double radius) { return Register<SphereShape>(radius); }

CollisionShape* BeginComplexShape() {
  CollisionWorld& w = g_collision;
  if (!w.openShape) {
    w.openShape = new ComplexShape;
    w.shapes.insert(w.openShape);
  }
  return w.openShape;
}

void AddComplexVertex(double x, double y, double z) {
  CollisionWorld& w = g_collision;
  if (!w.openShape) return;
  Vec3 p{x, y, z};
  size_t n = w.collectedVertices.size();
  size_t i = n > kVertexReuseWindow ? n - kVertexReuseWindow : 0;
  while (i < n && !(w.collectedVertices[i] == p)) ++i;
  if (i == n) w.collectedVertices.push_back(p);
  w.collectedIndices.push_back(uint32_t(i));
}

void SetPolytopeKind(int32_t kind) { g_collision.polytopeKind = kind; }

void EndPolytope() {
  CollisionWorld& w = g_collision;
  AddComplexPolytope(w.polytopeKind, uint32_t(w.collectedIndices.size()), w.collectedIndices.data());
  w.collectedIndices.clear();
}

void AddComplexPolytope(int32_t kind, uint32_t count, const uint32_t* indices) {
  CollisionWorld& w = g_collision;
  if (!w.openShape || count == 0 || !indices) return;
  const double* const* base = w.openShape->BaseField();
  Polytope* p;
  if (kind == kPolytopePolygon)
    p = new PolygonPolytope(base, indices, count);
  else if (kind == kPolytopePolyhedron)
    p = new PolyhedronPolytope(base, indices, count);
  else
    p = new SimplexPolytope(base, indices, count);  // any other kind: the plain scan serves every point set
  w.collectedPolytopes.push_back(p);
}

void AddComplexPolytopeRange(int32_t kind, uint32_t first, uint32_t count) {
  if (!g_collision.openShape || count == 0) return;
  std::vector<uint32_t> indices(count);
  for (uint32_t i = 0; i < count; ++i) indices[i] = first + i;
  AddComplexPolytope(kind, count, indices.data());
}

void SetComplexVertexBase(const double* vertices) {
  if (g_collision.openShape) g_collision.openShape->SetBase(vertices);
}

void EndComplexShape() {
  CollisionWorld& w = g_collision;
  ComplexShape* shape = w.openShape;
  if (!shape) return;
  bool collect = !shape->Base();
  shape->Build(std::move(w.collectedPolytopes), collect ? &w.collectedVertices : nullptr);
  w.collectedPolytopes.clear();
  if (collect) w.collectedVertices.clear();
  w.complexShapes.push_back(shape);
  w.openShape = nullptr;
}

void ChangeComplexVertexBase(CollisionShape* shape, const double* vertices) {
  CollisionWorld& w = g_collision;
  if (!vertices || !w.shapes.count(shape) || shape->isConvex()) return;
  auto* complex = static_cast<ComplexShape*>(shape);
  if (!complex->Built()) return;
  complex->Refit(vertices);
  for (auto& [key, object] : w.objects)
    if (object->shape == shape) UpdateObjectBBox(*object);
}

void DeleteCollisionShape(CollisionShape* shape) {
  CollisionWorld& w = g_collision;
  if (!w.shapes.erase(shape)) return;
  if (shape == w.openShape) {
    // What was collected for the shape goes with it: the next shape starts from nothing.
    for (Polytope* p : w.collectedPolytopes) delete p;
    w.collectedPolytopes.clear();
    w.collectedVertices.clear();
    w.collectedIndices.clear();
    w.openShape = nullptr;
  }
  if (!shape->isConvex()) std::erase(w.complexShapes, static_cast<ComplexShape*>(shape));
  // An object never reaches a destroyed shape: it is left without one.
  if (shape->users > 0)
    for (auto& [key, object] : w.objects)
      if (object->shape == shape) {
        RemoveObjectEncounters(object);
        object->shape = nullptr;
      }
  delete shape;
}
