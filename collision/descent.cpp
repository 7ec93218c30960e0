#include "collision/descent.h"

#include <cmath>
#include <vector>

#include "collision/gjk.h"

namespace {

bool LeafTest(const Polytope& a, const ConvexShape& b, const CollisionTransform& t, Vec3& v, Vec3* pa, Vec3* pb) {
  if (pa) return GjkCommonPointRelative(a, b, t, v, *pa, *pb);
  return GjkIntersectRelative(a, b, t, v);
}

Mat3 AbsoluteMatrix(const Mat3& m) {
  Mat3 r;
  for (int i = 0; i < 9; ++i) r.m[i] = std::fabs(m.m[i]);
  return r;
}

// Face-axis separation of node boxes a (in A's frame) and b (in B's frame).
bool NodesSeparated(const BBox& a, const BBox& b, const CollisionTransform& t1, const CollisionTransform& t2,
                    const Mat3& abs1, const Mat3& abs2) {
  Vec3 ta = t1.Apply(b.centre) - a.centre;
  Vec3 tb = t2.Apply(a.centre) - b.centre;
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(ta[i]) > a.extent[i] + Dot(abs1.Row(i), b.extent)) return true;
    if (std::fabs(tb[i]) > b.extent[i] + Dot(abs2.Row(i), a.extent)) return true;
  }
  return false;
}

}  // namespace

const Polytope* DescendComplexConvex(const ComplexShape& a, const ConvexShape& b, const CollisionTransform& t,
                                     Vec3& v, Vec3* pa, Vec3* pb) {
  if (!a.Root()) return nullptr;
  BBox box = ConvexBBox(b, t);
  std::vector<const BBoxNode*> stack{a.Root()};
  while (!stack.empty()) {
    const BBoxNode* node = stack.back();
    stack.pop_back();
    if (!BoxesOverlap(node->box, box)) continue;
    if (node->IsLeaf()) {
      if (LeafTest(*node->polytope, b, t, v, pa, pb)) return node->polytope;
      continue;
    }
    stack.push_back(node->lower);
    stack.push_back(node->upper);  // tried first
  }
  return nullptr;
}

PolytopePair DescendComplexComplex(const ComplexShape& a, const ComplexShape& b, const CollisionTransform& t1,
                                   Vec3& v, Vec3* pa, Vec3* pb) {
  if (!a.Root() || !b.Root()) return {};
  CollisionTransform t2;
  InvertTransform(t2, t1);
  Mat3 abs1 = AbsoluteMatrix(t1.basis), abs2 = AbsoluteMatrix(t2.basis);
  struct Pair {
    const BBoxNode* a;
    const BBoxNode* b;
  };
  std::vector<Pair> stack{{a.Root(), b.Root()}};
  while (!stack.empty()) {
    Pair n = stack.back();
    stack.pop_back();
    if (NodesSeparated(n.a->box, n.b->box, t1, t2, abs1, abs2)) continue;
    if (n.a->IsLeaf() && n.b->IsLeaf()) {
      if (LeafTest(*n.a->polytope, *n.b->polytope, t1, v, pa, pb)) return {n.a->polytope, n.b->polytope};
      continue;
    }
    if (!n.a->IsLeaf() && (n.b->IsLeaf() || BoxSize(n.b->box) <= BoxSize(n.a->box))) {
      stack.push_back({n.a->lower, n.b});
      stack.push_back({n.a->upper, n.b});
    } else {
      stack.push_back({n.a, n.b->lower});
      stack.push_back({n.a, n.b->upper});
    }
  }
  return {};
}
