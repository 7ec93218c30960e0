#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "collision/descent.h"
#include "collision/gjk.h"
#include "collision_test_util.h"

namespace {

class ComplexShapes : public CollisionTest {
 protected:
  static ComplexShape* AsComplex(CollisionShape* s) { return static_cast<ComplexShape*>(s); }

  // A soup of random small triangles (kind 0) over a caller-owned vertex array.
  ComplexShape* RandomSoup(std::mt19937_64& rng, int triangles, double spread, std::vector<double>& store) {
    std::uniform_real_distribution<double> place(-spread, spread), jitter(-0.8, 0.8);
    store.clear();
    for (int t = 0; t < triangles; ++t) {
      Vec3 c{place(rng), place(rng), place(rng)};
      for (int k = 0; k < 3; ++k) {
        store.push_back(c.x + jitter(rng));
        store.push_back(c.y + jitter(rng));
        store.push_back(c.z + jitter(rng));
      }
    }
    CollisionShape* shape = BeginComplexShape();
    SetComplexVertexBase(store.data());
    for (int t = 0; t < triangles; ++t) AddComplexPolytopeRange(kPolytopeSimplex, uint32_t(3 * t), 3);
    EndComplexShape();
    return AsComplex(shape);
  }
};

int CountLeaves(const BBoxNode* n) { return n->IsLeaf() ? 1 : CountLeaves(n->upper) + CountLeaves(n->lower); }

TEST_F(ComplexShapes, VertexReuseLooksBackTwenty) {
  BeginComplexShape();
  AddComplexVertex(7, 7, 7);
  for (int i = 1; i <= 19; ++i) AddComplexVertex(i, 0, 0);
  AddComplexVertex(7, 7, 7);  // 20 collected: the first is still in reach
  EXPECT_EQ(g_collision.collectedVertices.size(), 20u);
  EXPECT_EQ(g_collision.collectedIndices.back(), 0u);
  AddComplexVertex(20, 0, 0);  // 21 collected
  AddComplexVertex(7, 7, 7);
  EXPECT_EQ(g_collision.collectedVertices.size(), 22u);
  EXPECT_EQ(g_collision.collectedIndices.back(), 21u);
  AddComplexVertex(7, 7, 7);  // the new copy is reused
  EXPECT_EQ(g_collision.collectedIndices.back(), 21u);
  EndPolytope();
  EndComplexShape();
  EXPECT_TRUE(g_collision.collectedVertices.empty());
  EXPECT_TRUE(g_collision.collectedIndices.empty());
}

TEST_F(ComplexShapes, SinglePolytopeIsItsOwnRoot) {
  ComplexShape* s = AsComplex(BeginComplexShape());
  AddComplexVertex(0, 0, 0);
  AddComplexVertex(1, 0, 0);
  AddComplexVertex(0, 2, 0);
  SetPolytopeKind(kPolytopePolygon);
  EndPolytope();
  EndComplexShape();
  ASSERT_EQ(s->LeafCount(), 1);
  EXPECT_EQ(s->Root(), &s->Leaves()[0]);
  EXPECT_TRUE(s->Internal().empty());
  EXPECT_TRUE(s->OwnsBase());
  EXPECT_NE(dynamic_cast<PolygonPolytope*>(s->Leaves()[0].polytope), nullptr);
  EXPECT_DOUBLE_EQ(s->Root()->box.centre.y, 1);
  EXPECT_DOUBLE_EQ(s->Root()->box.extent.x, 0.5);
}

TEST_F(ComplexShapes, OneSidedSplitHalvesAfterExchanges) {
  // A wide leaf centred on the node centre and three small ones above it: all four fall on the
  // upper side, so the split takes the first two after the exchanges.
  static const double v[] = {0, 0, 0, 10, 0, 0, 5.2, 0, 0, 5.4, 0, 0, 5.6, 0, 0, 5.8, 0, 0, 6, 0, 0, 6.2, 0, 0};
  ComplexShape* s = AsComplex(BeginComplexShape());
  SetComplexVertexBase(v);
  for (uint32_t i = 0; i < 4; ++i) AddComplexPolytopeRange(kPolytopeSimplex, 2 * i, 2);
  EndComplexShape();
  ASSERT_EQ(s->Internal().size(), 3u);
  const BBoxNode* root = s->Root();
  EXPECT_EQ(root, &s->Internal()[0]);
  // [a b c d] -> [b c d a]: lower {b, c}, upper {d, a}; pre-order puts the lower node first.
  ASSERT_EQ(root->lower, &s->Internal()[1]);
  ASSERT_EQ(root->upper, &s->Internal()[2]);
  EXPECT_EQ(root->lower->lower->polytope->Index(0), 2u);
  EXPECT_EQ(root->lower->upper->polytope->Index(0), 4u);
  EXPECT_EQ(CountLeaves(root->upper), 2);
}

TEST_F(ComplexShapes, TreeIsPreOrderAndEnclosesItsChildren) {
  std::mt19937_64 rng(9);
  std::vector<double> store;
  ComplexShape* s = RandomSoup(rng, 300, 20, store);
  ASSERT_EQ(s->Internal().size(), 299u);
  EXPECT_EQ(CountLeaves(s->Root()), 300);
  const BBoxNode* first = s->Internal().data();
  for (const BBoxNode& n : s->Internal()) {
    for (const BBoxNode* child : {n.upper, n.lower}) {
      if (!child->IsLeaf()) {
        EXPECT_GT(child, &n);
      }
      for (int k = 0; k < 3; ++k) {
        EXPECT_LE(n.box.centre[k] - n.box.extent[k], child->box.centre[k] - child->box.extent[k] + 1e-12);
        EXPECT_GE(n.box.centre[k] + n.box.extent[k], child->box.centre[k] + child->box.extent[k] - 1e-12);
      }
    }
  }
  EXPECT_EQ(s->Root(), first);
}

TEST_F(ComplexShapes, RefitMovesEveryBoxWithTheVertices) {
  std::mt19937_64 rng(10);
  std::vector<double> store;
  ComplexShape* s = RandomSoup(rng, 64, 10, store);
  std::vector<BBoxNode> before = s->Internal();
  std::vector<BBoxNode> leavesBefore = s->Leaves();
  std::vector<double> moved = store;
  for (size_t i = 0; i < moved.size(); i += 3) {
    moved[i] += 3;
    moved[i + 2] -= 1.5;
  }
  ChangeComplexVertexBase(s, moved.data());
  EXPECT_EQ(s->Base(), moved.data());
  EXPECT_EQ(s->PreviousBase(), store.data());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_NEAR(s->Internal()[i].box.centre.x, before[i].box.centre.x + 3, 1e-12);
    EXPECT_NEAR(s->Internal()[i].box.centre.y, before[i].box.centre.y, 1e-12);
    EXPECT_NEAR(s->Internal()[i].box.centre.z, before[i].box.centre.z - 1.5, 1e-12);
    EXPECT_NEAR(s->Internal()[i].box.extent.x, before[i].box.extent.x, 1e-12);
  }
  for (size_t i = 0; i < leavesBefore.size(); ++i)
    EXPECT_NEAR(s->Leaves()[i].box.centre.x, leavesBefore[i].box.centre.x + 3, 1e-12);
}

TEST_F(ComplexShapes, PlacedBoxEnclosesEveryVertex) {
  std::mt19937_64 rng(12);
  std::vector<double> store;
  ComplexShape* s = RandomSoup(rng, 40, 5, store);
  for (int round = 0; round < 20; ++round) {
    CollisionTransform t = RandomPlacement(rng, 10, round % 2 == 1);
    BBox b = s->bbox(t);
    for (size_t i = 0; i < store.size(); i += 3) {
      Vec3 p = t.Apply({store[i], store[i + 1], store[i + 2]});
      for (int k = 0; k < 3; ++k) EXPECT_LE(std::fabs(p[k] - b.centre[k]), b.extent[k] + 1e-9);
    }
  }
}

TEST_F(ComplexShapes, BadPolytopesAreDropped) {
  ComplexShape* s = AsComplex(BeginComplexShape());
  AddComplexVertex(0, 0, 0);
  AddComplexVertex(1, 0, 0);
  AddComplexVertex(0, 1, 0);
  const uint32_t good[] = {0, 1, 2}, bad[] = {0, 1, 3};
  AddComplexPolytope(kPolytopeSimplex, 3, good);
  AddComplexPolytope(kPolytopeSimplex, 3, bad);
  AddComplexPolytope(kPolytopeSimplex, 0, good);
  AddComplexPolytope(kPolytopeSimplex, 2, nullptr);
  AddComplexPolytope(99, 3, good);  // unknown kind: a point set
  EndComplexShape();
  EXPECT_EQ(s->LeafCount(), 2);
}

TEST_F(ComplexShapes, OwnedBaseSurvivesChangeOfBase) {
  ComplexShape* s = AsComplex(BeginComplexShape());
  AddComplexVertex(0, 0, 0);
  AddComplexVertex(1, 0, 0);
  AddComplexVertex(0, 1, 0);
  EndPolytope();
  EndComplexShape();
  const double* owned = s->Base();
  std::vector<double> other = {5, 0, 0, 6, 0, 0, 5, 1, 0};
  ChangeComplexVertexBase(s, other.data());
  EXPECT_EQ(s->PreviousBase(), owned);
  EXPECT_NEAR(s->Root()->box.centre.x, 5.5, 1e-12);
  DeleteCollisionShape(s);  // frees its own copy only (ASan checks)
}

// The descents find a collision exactly when some leaf (pair) collides.
TEST_F(ComplexShapes, ConvexDescentMatchesBruteForce) {
  std::mt19937_64 rng(21);
  std::vector<double> store;
  ComplexShape* soup = RandomSoup(rng, 150, 6, store);
  SphereShape sphere(0.9);
  BoxShape box(1.5, 0.5, 2);
  int hits = 0, checked = 0;
  for (int round = 0; round < 400; ++round) {
    const ConvexShape& b = round % 2 ? static_cast<const ConvexShape&>(sphere) : box;
    CollisionTransform ta = RandomPlacement(rng, 2, round % 3 == 0), tb = RandomPlacement(rng, 8);
    if (!TransformUsable(ta)) continue;
    CollisionTransform t;
    ComposeInverseTransform(t, ta, tb);
    bool any = false, inBand = false;
    std::vector<const Polytope*> colliding;
    for (const BBoxNode& leaf : soup->Leaves()) {
      Vec3 v;
      if (GjkIntersectRelative(*leaf.polytope, b, t, v)) {
        any = true;
        colliding.push_back(leaf.polytope);
        continue;
      }
      CollisionTransform id;
      SetTransformIdentity(id);
      Vec3 pa, pb;
      GjkClosestPoints(*leaf.polytope, b, id, t, pa, pb);
      if (Length(pa - t.Apply(pb)) < 1e-4) inBand = true;
    }
    if (inBand) continue;
    ++checked;
    hits += any;
    Vec3 v;
    const Polytope* found = DescendComplexConvex(*soup, b, t, v);
    ASSERT_EQ(found != nullptr, any) << round;
    if (found) {
      EXPECT_NE(std::find(colliding.begin(), colliding.end(), found), colliding.end());
    }
    Vec3 pa, pb;
    v = {};
    const Polytope* withPoint = DescendComplexConvex(*soup, b, t, v, &pa, &pb);
    ASSERT_EQ(withPoint != nullptr, any);
    if (withPoint) {
      EXPECT_LT(Length(pa - t.Apply(pb)), 1e-6);
    }
  }
  EXPECT_GT(checked, 300);
  EXPECT_GT(hits, 50);
}

TEST_F(ComplexShapes, ComplexDescentMatchesBruteForce) {
  std::mt19937_64 rng(22);
  std::vector<double> storeA, storeB;
  ComplexShape* a = RandomSoup(rng, 60, 4, storeA);
  ComplexShape* b = RandomSoup(rng, 40, 3, storeB);
  int hits = 0, checked = 0;
  for (int round = 0; round < 150; ++round) {
    CollisionTransform ta = RandomPlacement(rng, 2), tb = RandomPlacement(rng, 6, round % 2 == 0);
    CollisionTransform t;
    ComposeInverseTransform(t, ta, tb);
    bool any = false, inBand = false;
    CollisionTransform id;
    SetTransformIdentity(id);
    for (const BBoxNode& la : a->Leaves())
      for (const BBoxNode& lb : b->Leaves()) {
        Vec3 v;
        if (GjkIntersectRelative(*la.polytope, *lb.polytope, t, v)) {
          any = true;
          continue;
        }
        Vec3 pa, pb;
        GjkClosestPoints(*la.polytope, *lb.polytope, id, t, pa, pb);
        if (Length(pa - t.Apply(pb)) < 1e-4) inBand = true;
      }
    if (inBand) continue;
    ++checked;
    hits += any;
    Vec3 v;
    PolytopePair found = DescendComplexComplex(*a, *b, t, v);
    ASSERT_EQ(found.a != nullptr, any) << round;
    if (found.a) {
      Vec3 v2;
      EXPECT_TRUE(GjkIntersectRelative(*found.a, *found.b, t, v2));
    }
  }
  EXPECT_GT(checked, 100);
  EXPECT_GT(hits, 20);
}

}  // namespace
