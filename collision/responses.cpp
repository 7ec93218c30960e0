#include "collision/responses.h"

#include <utility>
#include <vector>

#include "collision/descent.h"
#include "collision/gjk.h"
#include "collision/world.h"

const CollisionResponse& FindResponse(CollisionKey first, CollisionKey second) {
  const ResponseTable& r = g_collision.responses;
  if (auto it = r.pairs.find(PairKey(first, second)); it != r.pairs.end()) return it->second;
  if (auto it = r.objects.find(first); it != r.objects.end()) return it->second;
  if (auto it = r.objects.find(second); it != r.objects.end()) return it->second;
  return r.defaultResponse;
}

void RemoveKeyResponses(CollisionKey key) {
  ResponseTable& r = g_collision.responses;
  r.objects.erase(key);
  std::vector<std::pair<CollisionKey, CollisionKey>> named;
  for (const auto& [pair, response] : r.pairs)
    if (pair.first == key || pair.second == key) named.push_back(pair);
  for (const auto& pair : named) r.pairs.erase(pair);
}

namespace {

// Both objects have a shape and a placement that can be tested.
bool Testable(const CollisionObject& a, const CollisionObject& b) {
  return a.shape && b.shape && TransformUsable(a.current) && TransformUsable(b.current);
}

const ConvexShape& Convex(const CollisionObject& o) { return static_cast<const ConvexShape&>(*o.shape); }
ComplexShape& Complex(const CollisionObject& o) { return static_cast<ComplexShape&>(*o.shape); }

CollisionTransform Relative(const CollisionTransform& a, const CollisionTransform& b) {
  CollisionTransform t;
  ComposeInverseTransform(t, a, b);
  return t;
}

// Runs a test with the complex object first; points come back in the caller's order.
template <class Test>
bool ComplexFirst(CollisionObject& a, CollisionObject& b, Vec3* pa, Vec3* pb, Test test) {
  if (a.shape->isConvex() && !b.shape->isConvex()) return test(b, a, pb, pa);
  return test(a, b, pa, pb);
}

bool PairTest(CollisionObject& a, CollisionObject& b, Vec3& v, Vec3* pa, Vec3* pb) {
  if (!Testable(a, b)) return false;
  if (a.shape->isConvex() && b.shape->isConvex()) {
    if (pa) return GjkCommonPoint(Convex(a), Convex(b), a.current, b.current, v, *pa, *pb);
    return GjkIntersect(Convex(a), Convex(b), a.current, b.current, v);
  }
  return ComplexFirst(a, b, pa, pb, [&](CollisionObject& c, CollisionObject& o, Vec3* pc, Vec3* po) {
    CollisionTransform t = Relative(c.current, o.current);
    if (o.shape->isConvex()) return DescendComplexConvex(Complex(c), Convex(o), t, v, pc, po) != nullptr;
    return DescendComplexComplex(Complex(c), Complex(o), t, v, pc, po).a != nullptr;
  });
}

}  // namespace

bool IntersectObjects(CollisionObject& a, CollisionObject& b, Vec3& v) { return PairTest(a, b, v, nullptr, nullptr); }

bool CommonPointObjects(CollisionObject& a, CollisionObject& b, Vec3& v, Vec3& pa, Vec3& pb) {
  return PairTest(a, b, v, &pa, &pb);
}

bool PreviousPointsObjects(CollisionObject& a, CollisionObject& b, Vec3& v, Vec3& pa, Vec3& pb) {
  if (!Testable(a, b) || !TransformUsable(a.previous) || !TransformUsable(b.previous)) return false;
  if (a.shape->isConvex() && b.shape->isConvex()) {
    if (!GjkIntersect(Convex(a), Convex(b), a.current, b.current, v)) return false;
    GjkClosestPoints(Convex(a), Convex(b), a.previous, b.previous, pa, pb);
    return true;
  }
  return ComplexFirst(a, b, &pa, &pb, [&](CollisionObject& c, CollisionObject& o, Vec3* pc, Vec3* po) {
    CollisionTransform t = Relative(c.current, o.current);
    ComplexShape& cs = Complex(c);
    if (o.shape->isConvex()) {
      const Polytope* leaf = DescendComplexConvex(cs, Convex(o), t, v);
      if (!leaf) return false;
      cs.ExchangeBases();
      GjkClosestPoints(*leaf, Convex(o), c.previous, o.previous, *pc, *po);
      cs.ExchangeBases();
      return true;
    }
    ComplexShape& os = Complex(o);
    PolytopePair found = DescendComplexComplex(cs, os, t, v);
    if (!found.a) return false;
    cs.ExchangeBases();
    if (&os != &cs) os.ExchangeBases();
    GjkClosestPoints(*found.a, *found.b, c.previous, o.previous, *pc, *po);
    cs.ExchangeBases();
    if (&os != &cs) os.ExchangeBases();
    return true;
  });
}

namespace {

void FillData(const Vec3& pa, const Vec3& pb, const Vec3& normal) {
  CollisionData& d = g_collision.data;
  for (int i = 0; i < 3; ++i) {
    d.point1[i] = pa[i];
    d.point2[i] = pb[i];
    d.normal[i] = normal[i];
  }
}

}  // namespace

bool TestCollisionPair(CollisionObject& a, CollisionObject& b, Vec3& v) {
  // A copy: the callback may change the response table.
  CollisionResponse r = FindResponse(a.key, b.key);
  if (!r.callback) return false;
  Vec3 pa, pb;
  switch (r.type) {
    case kResponseSimple:
      if (!IntersectObjects(a, b, v)) return false;
      r.callback(r.clientData, a.key, b.key, nullptr);
      return true;
    case kResponsePreviousPoints:
      if (!PreviousPointsObjects(a, b, v, pa, pb)) return false;
      FillData(pa, pb, a.previous.Apply(pa) - b.previous.Apply(pb));
      r.callback(r.clientData, a.key, b.key, &g_collision.data);
      return true;
    case kResponseCommonPoint:
      if (!CommonPointObjects(a, b, v, pa, pb)) return false;
      FillData(pa, pb, {0, 0, 0});
      r.callback(r.clientData, a.key, b.key, &g_collision.data);
      return true;
    default:
      return false;
  }
}
