#include <gtest/gtest.h>

#include <cmath>

#include <utility>
#include <vector>

#include "collision_test_util.h"

namespace {

struct Call {
  void* client;
  CollisionKey first, second;
  bool hasData;
  CollisionData data;
};
std::vector<Call> g_calls;

void Record(void* client, CollisionKey a, CollisionKey b, const CollisionData* d) {
  g_calls.push_back({client, a, b, d != nullptr, d ? *d : CollisionData{}});
}

std::vector<std::pair<CollisionKey, CollisionKey>> CalledPairs() {
  std::vector<std::pair<CollisionKey, CollisionKey>> pairs;
  for (const Call& c : g_calls) pairs.push_back(PairKey(c.first, c.second));
  return pairs;
}

class CollisionApi : public CollisionTest {
 protected:
  void SetUp() override {
    CollisionTest::SetUp();
    g_calls.clear();
    DisableCollisionCaching();
  }
  // Three unit boxes that all overlap, keys 1 < 2 < 3.
  void ThreeOverlapping() {
    CollisionShape* box = CreateCollisionBox(1, 1, 1);
    for (CollisionKey k = 1; k <= 3; ++k) {
      CreateCollisionObject(k, box);
      SetCollisionPosition(0.2 * double(k), 0, 0);
    }
  }
  int a_ = 1, b_ = 2, c_ = 3;
};

using Pairs = std::vector<std::pair<CollisionKey, CollisionKey>>;

TEST_F(CollisionApi, NothingIsCalledBeforeAResponseIsSet) {
  ThreeOverlapping();
  EXPECT_EQ(TestAllCollisions(), 0);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(CollisionApi, BoxTakesFullSizes) {
  auto* box = static_cast<BoxShape*>(CreateCollisionBox(2, 4, 6));
  EXPECT_EQ(box->HalfExtents(), (Vec3{1, 2, 3}));
}

TEST_F(CollisionApi, DefaultResponseCallsEveryPairInKeyOrder) {
  ThreeOverlapping();
  SetDefaultCollisionResponse(Record, kResponseSimple, &a_);
  EXPECT_EQ(TestAllCollisions(), 3);
  EXPECT_EQ(CalledPairs(), (Pairs{{1, 2}, {1, 3}, {2, 3}}));
  for (const Call& c : g_calls) {
    EXPECT_EQ(c.client, &a_);
    EXPECT_FALSE(c.hasData);
    EXPECT_LT(c.first, c.second);  // the older object first
  }
  g_calls.clear();
  EnableCollisionCaching();
  EXPECT_EQ(TestAllCollisions(), 3);
  EXPECT_EQ(CalledPairs(), (Pairs{{1, 2}, {1, 3}, {2, 3}}));
}

TEST_F(CollisionApi, ClearedObjectResponseSilencesItsPairs) {
  ThreeOverlapping();
  SetDefaultCollisionResponse(Record, kResponseSimple, nullptr);
  ClearObjectCollisionResponse(2);
  EXPECT_EQ(TestAllCollisions(), 1);
  EXPECT_EQ(CalledPairs(), (Pairs{{1, 3}}));
  // The first object's own response beats the second's clear.
  g_calls.clear();
  SetObjectCollisionResponse(1, Record, kResponseSimple, &b_);
  EXPECT_EQ(TestAllCollisions(), 2);
  EXPECT_EQ(CalledPairs(), (Pairs{{1, 2}, {1, 3}}));
  EXPECT_EQ(g_calls[0].client, &b_);
  g_calls.clear();
  ResetObjectCollisionResponse(2);
  ResetObjectCollisionResponse(1);
  EXPECT_EQ(TestAllCollisions(), 3);
}

TEST_F(CollisionApi, PairResponseBeatsObjectResponses) {
  ThreeOverlapping();
  SetObjectCollisionResponse(1, Record, kResponseSimple, &a_);
  SetObjectCollisionResponse(2, Record, kResponseSimple, &b_);
  SetPairCollisionResponse(2, 1, Record, kResponseSimple, &c_);
  EXPECT_EQ(TestAllCollisions(), 3);
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[0].client, &c_);  // {1, 2}
  EXPECT_EQ(g_calls[1].client, &a_);  // {1, 3}
  EXPECT_EQ(g_calls[2].client, &b_);  // {2, 3}
}

TEST_F(CollisionApi, ClearedPairIsNeverTestedUntilReset) {
  ThreeOverlapping();
  SetDefaultCollisionResponse(Record, kResponseSimple, nullptr);
  ClearPairCollisionResponse(3, 1);
  EXPECT_EQ(TestAllCollisions(), 2);
  EXPECT_EQ(CalledPairs(), (Pairs{{1, 2}, {2, 3}}));
  g_calls.clear();
  ResetPairCollisionResponse(1, 3);
  EXPECT_EQ(TestAllCollisions(), 3);
}

TEST_F(CollisionApi, DeletingAnObjectRemovesItsResponses) {
  ThreeOverlapping();
  SetPairCollisionResponse(1, 2, Record, kResponseSimple, nullptr);
  SetPairCollisionResponse(3, 2, Record, kResponseSimple, nullptr);
  SetPairCollisionResponse(1, 3, Record, kResponseSimple, nullptr);
  SetObjectCollisionResponse(2, Record, kResponseSimple, nullptr);
  DeleteCollisionObject(2);
  EXPECT_EQ(g_collision.responses.pairs.size(), 1u);
  EXPECT_TRUE(g_collision.responses.objects.empty());
  // An unmapped key still loses its responses.
  SetPairCollisionResponse(7, 1, Record, kResponseSimple, nullptr);
  DeleteCollisionObject(7);
  EXPECT_EQ(g_collision.responses.pairs.size(), 1u);
}

TEST_F(CollisionApi, ResponseWithoutCallbackSkipsThePair) {
  ThreeOverlapping();
  SetDefaultCollisionResponse(nullptr, kResponseSimple, nullptr);
  SetObjectCollisionResponse(3, Record, kResponseSimple, nullptr);
  EXPECT_EQ(TestAllCollisions(), 2);
  SetDefaultCollisionResponse(Record, 9, nullptr);  // unknown type: no test
  ResetObjectCollisionResponse(3);
  EXPECT_EQ(TestAllCollisions(), 0);
}

TEST_F(CollisionApi, CachedPairsKeepCollidingFrameAfterFrame) {
  CollisionShape* sphere = CreateCollisionSphere(1);
  CollisionShape* soup = BeginComplexShape();
  AddComplexVertex(-2, 0, -2);
  AddComplexVertex(2, 0, -2);
  AddComplexVertex(0, 0, 2);
  EndPolytope();
  EndComplexShape();
  for (CollisionKey k = 1; k <= 4; ++k) {
    CreateCollisionObject(k, k == 4 ? soup : sphere);
    SetCollisionPosition(0.3 * double(k), 0.1 * double(k), -0.2 * double(k));
  }
  EnableCollisionCaching();
  for (int32_t type : {kResponseSimple, kResponseCommonPoint, kResponseSimple, kResponsePreviousPoints}) {
    SetDefaultCollisionResponse(Record, type, nullptr);
    for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(TestAllCollisions(), 6) << type << " " << frame;
  }
}

TEST_F(CollisionApi, DeletedSelectionTakesNoPlacement) {
  CollisionShape* box = CreateCollisionBox(1, 1, 1);
  CreateCollisionObject(1, box);
  CreateCollisionObject(2, box);
  DeleteCollisionObject(2);
  SetCollisionPosition(5, 0, 0);
  SetCollisionScaling(2, 2, 2);
  EXPECT_EQ(g_collision.objects[1]->current.origin, (Vec3{0, 0, 0}));
  EXPECT_EQ(g_collision.selected, nullptr);
  SelectCollisionObject(99);  // unmapped: nothing
  EXPECT_EQ(g_collision.selected, nullptr);
}

TEST_F(CollisionApi, VertexBaseLeavesTheCollectionAlone) {
  static const double base[] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  BeginComplexShape();
  AddComplexVertex(4, 5, 6);
  SetComplexVertexBase(base);
  AddComplexPolytopeRange(kPolytopeSimplex, 0, 3);
  EndComplexShape();
  ASSERT_EQ(g_collision.collectedVertices.size(), 1u);
  EXPECT_EQ(g_collision.collectedVertices[0], (Vec3{4, 5, 6}));
  // Without an open shape the builder calls do nothing.
  AddComplexVertex(1, 1, 1);
  AddComplexPolytopeRange(kPolytopeSimplex, 0, 3);
  EndComplexShape();
  EXPECT_EQ(g_collision.collectedVertices.size(), 1u);
  EXPECT_TRUE(g_collision.collectedPolytopes.empty());
  EXPECT_EQ(g_collision.complexShapes.size(), 1u);
}

TEST_F(CollisionApi, CommonPointResponseHandsAPointOfBoth) {
  CollisionShape* box = CreateCollisionBox(2, 2, 2);
  CreateCollisionObject(1, box);
  CreateCollisionObject(2, box);
  SetCollisionPosition(1.5, 0.5, 0);
  SetDefaultCollisionResponse(Record, kResponseCommonPoint, nullptr);
  EXPECT_EQ(TestAllCollisions(), 1);
  ASSERT_EQ(g_calls.size(), 1u);
  ASSERT_TRUE(g_calls[0].hasData);
  const CollisionData& d = g_calls[0].data;
  Vec3 p1{d.point1[0], d.point1[1], d.point1[2]}, p2{d.point2[0], d.point2[1], d.point2[2]};
  EXPECT_NEAR(Length(p1 - (p2 + Vec3{1.5, 0.5, 0})), 0, 1e-9);
  EXPECT_TRUE(PointInBox(p1, {1, 1, 1}, g_collision.objects[2]->current));
  EXPECT_EQ(d.normal[0], 0);
}

TEST_F(CollisionApi, PreviousPointsComeFromTheLastProceed) {
  CollisionShape* sphere = CreateCollisionSphere(1);
  CreateCollisionObject(1, sphere);
  CreateCollisionObject(2, sphere);
  SetCollisionPosition(3, 0, 0);
  ProceedCollisions();
  ResetCollisionTransform();
  SetCollisionPosition(1, 0, 0);
  SetDefaultCollisionResponse(Record, kResponsePreviousPoints, nullptr);
  EXPECT_EQ(TestAllCollisions(), 1);
  ASSERT_EQ(g_calls.size(), 1u);
  const CollisionData& d = g_calls[0].data;
  EXPECT_NEAR(d.point1[0], 1, 1e-6);
  EXPECT_NEAR(d.point2[0], -1, 1e-6);
  EXPECT_NEAR(d.normal[0], -1, 1e-6);  // from the second point (2, 0, 0) to the first (1, 0, 0)
  EXPECT_NEAR(d.normal[1], 0, 1e-6);
}

TEST_F(CollisionApi, PreviousPointsOfAComplexShapeUseThePreviousVertices) {
  static double before[] = {-1, -1, 4, 1, -1, 4, 0, 1, 4};
  static double now[] = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
  CollisionShape* soup = BeginComplexShape();
  SetComplexVertexBase(before);
  AddComplexPolytopeRange(kPolytopePolygon, 0, 3);
  EndComplexShape();
  CollisionShape* sphere = CreateCollisionSphere(0.5);
  CreateCollisionObject(1, sphere);
  CreateCollisionObject(2, soup);
  ProceedCollisions();
  ChangeComplexVertexBase(soup, now);
  SetDefaultCollisionResponse(Record, kResponsePreviousPoints, nullptr);
  EXPECT_EQ(TestAllCollisions(), 1);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].first, 2u);  // the complex object first
  EXPECT_NEAR(g_calls[0].data.point1[2], 4, 1e-6);  // on the triangle as it was
  EXPECT_NEAR(g_calls[0].data.point2[2], 0.5, 1e-6);
  EXPECT_NEAR(g_calls[0].data.normal[2], 3.5, 1e-6);
  EXPECT_EQ(static_cast<ComplexShape*>(soup)->Base(), now);  // exchanged back
}

TEST_F(CollisionApi, PreviousPointsStayFiniteOverANanVertex) {
  static double before[] = {NAN, -1, 0, 1, -1, 0, 0, 1, 0};
  static double now[] = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
  CollisionShape* soup = BeginComplexShape();
  SetComplexVertexBase(before);
  AddComplexPolytopeRange(kPolytopeSimplex, 0, 3);
  EndComplexShape();
  CreateCollisionObject(1, soup);
  CreateCollisionObject(2, CreateCollisionBox(1, 1, 1));
  ProceedCollisions();
  ChangeComplexVertexBase(soup, now);
  SetDefaultCollisionResponse(Record, kResponsePreviousPoints, nullptr);
  EXPECT_EQ(TestAllCollisions(), 1);
  ASSERT_EQ(g_calls.size(), 1u);
  const CollisionData& d = g_calls[0].data;
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(std::isfinite(d.point1[i]));
    EXPECT_TRUE(std::isfinite(d.point2[i]));
    EXPECT_TRUE(std::isfinite(d.normal[i]));
  }
}

TEST_F(CollisionApi, ComplexAgainstConvexThroughTheInterface) {
  CollisionShape* soup = BeginComplexShape();
  for (int i = 0; i < 10; ++i) {
    AddComplexVertex(i, 0, 0);
    AddComplexVertex(i + 1, 0, 0);
    AddComplexVertex(i, 0, 1);
    EndPolytope();
  }
  EndComplexShape();
  CreateCollisionObject(5, soup);
  CreateCollisionObject(6, CreateCollisionSphere(0.3));
  SetDefaultCollisionResponse(Record, kResponseCommonPoint, nullptr);
  SetCollisionPosition(7.2, 0.2, 0.3);
  EXPECT_EQ(TestAllCollisions(), 1);
  SetCollisionPosition(0, 0.2, 0);  // 0.4 above the strip
  EXPECT_EQ(TestAllCollisions(), 0);
  // A quarter turn about z: the basis takes the strip's x axis onto -y.
  SelectCollisionObject(5);
  SetCollisionOrientation(0, 0, std::sin(M_PI / 4), std::cos(M_PI / 4));
  SelectCollisionObject(6);
  ResetCollisionTransform();
  SetCollisionPosition(7.2, 0.2, 0.3);
  EXPECT_EQ(TestAllCollisions(), 0);
  ResetCollisionTransform();
  SetCollisionPosition(-0.1, -7.2, 0.3);
  g_calls.clear();
  EXPECT_EQ(TestAllCollisions(), 1);
}

TEST_F(CollisionApi, BadPlacementsAndEmptyShapesNeverCollide) {
  CollisionShape* box = CreateCollisionBox(1, 1, 1);
  SetDefaultCollisionResponse(Record, kResponseSimple, nullptr);
  CreateCollisionObject(1, box);
  CreateCollisionObject(2, box);
  SetCollisionScaling(0, 1, 1);
  EXPECT_EQ(TestAllCollisions(), 0);
  float nanMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  nanMatrix[13] = NAN;
  SetCollisionMatrixF(nanMatrix);
  EXPECT_EQ(TestAllCollisions(), 0);
  EnableCollisionCaching();
  EXPECT_EQ(TestAllCollisions(), 0);
  DisableCollisionCaching();
  ResetCollisionTransform();
  EXPECT_EQ(TestAllCollisions(), 1);
  // A complex shape without polytopes.
  CollisionShape* empty = BeginComplexShape();
  EndComplexShape();
  CreateCollisionObject(2, empty);
  EXPECT_EQ(TestAllCollisions(), 0);
  EnableCollisionCaching();
  EXPECT_EQ(TestAllCollisions(), 0);
}

TEST_F(CollisionApi, MatrixCallsPlaceTheSelectedObject) {
  CollisionShape* box = CreateCollisionBox(1, 1, 1);
  SetDefaultCollisionResponse(Record, kResponseSimple, nullptr);
  CreateCollisionObject(1, box);
  CreateCollisionObject(2, box);
  const double far[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1};
  SetCollisionMatrixD(far);
  EXPECT_EQ(TestAllCollisions(), 0);
  const float back[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -4.5f, 0, 0, 1};
  MultCollisionMatrixF(back);
  EXPECT_EQ(g_collision.objects[2]->current.origin.x, 0.5);
  EXPECT_EQ(TestAllCollisions(), 1);
  const double half[16] = {0.5, 0, 0, 0, 0, 0.5, 0, 0, 0, 0, 0.5, 0, 0, 0, 0, 1};
  MultCollisionMatrixD(half);
  EXPECT_EQ(g_collision.objects[2]->current.basis(1, 1), 0.5);
  EXPECT_EQ(TestAllCollisions(), 1);
}

TEST_F(CollisionApi, WideKeysKeepTheirOrder) {
  CollisionShape* box = CreateCollisionBox(1, 1, 1);
  SetDefaultCollisionResponse(Record, kResponseSimple, nullptr);
  const CollisionKey wide = 70000ull * 100000ull + 3;  // beyond 32 bits
  CreateCollisionObject(wide, box);
  CreateCollisionObject(wide + 1, box);
  CreateCollisionObject(4, box);
  EXPECT_EQ(TestAllCollisions(), 3);
  EXPECT_EQ(CalledPairs(), (Pairs{{4, wide}, {4, wide + 1}, {wide, wide + 1}}));
  EXPECT_EQ(g_collision.objects.size(), 3u);
}

// Callbacks that change the world while the loop runs.
void DeleteOthers(void*, CollisionKey a, CollisionKey, const CollisionData*) {
  g_calls.push_back({nullptr, a, 0, false, {}});
  for (CollisionKey k = 1; k <= 6; ++k)
    if (k != a) DeleteCollisionObject(k);
  CreateCollisionObject(a, CreateCollisionSphere(1));
}

TEST_F(CollisionApi, CallbacksMayDeleteAndReplaceObjects) {
  for (bool caching : {false, true}) {
    ResetCollisionWorld();
    g_calls.clear();
    CollisionShape* box = CreateCollisionBox(1, 1, 1);
    for (CollisionKey k = 1; k <= 6; ++k) CreateCollisionObject(k, box);
    if (caching) EnableCollisionCaching(); else DisableCollisionCaching();
    SetDefaultCollisionResponse(DeleteOthers, kResponseSimple, nullptr);
    EXPECT_EQ(TestAllCollisions(), 1);
    EXPECT_EQ(g_collision.objects.size(), 1u);
    EXPECT_TRUE(g_collision.graveyard.empty());
  }
}

TEST_F(CollisionApi, DeletedShapeLeavesItsObjectsInert) {
  CollisionShape* box = CreateCollisionBox(1, 1, 1);
  CollisionShape* other = CreateCollisionBox(1, 1, 1);
  SetDefaultCollisionResponse(Record, kResponseSimple, nullptr);
  EnableCollisionCaching();
  CreateCollisionObject(1, box);
  CreateCollisionObject(2, other);
  EXPECT_EQ(TestAllCollisions(), 1);
  DeleteCollisionShape(other);
  DeleteCollisionShape(other);  // unknown now: nothing
  EXPECT_EQ(TestAllCollisions(), 0);
  DisableCollisionCaching();
  EXPECT_EQ(TestAllCollisions(), 0);
  SelectCollisionObject(2);
  EnableCollisionCaching();
  EXPECT_EQ(TestAllCollisions(), 0);
  // Deleting the open complex shape drops what was collected for it.
  BeginComplexShape();
  AddComplexVertex(0, 0, 0);
  AddComplexPolytopeRange(kPolytopeSimplex, 0, 1);
  DeleteCollisionShape(g_collision.openShape);
  EXPECT_EQ(g_collision.openShape, nullptr);
  EXPECT_TRUE(g_collision.collectedPolytopes.empty());
  // The next shape's indices count from its own first vertex.
  auto* next = static_cast<ComplexShape*>(BeginComplexShape());
  AddComplexVertex(10, 0, 0);
  AddComplexVertex(12, 0, 0);
  AddComplexVertex(10, 2, 0);
  AddComplexPolytopeRange(kPolytopeSimplex, 0, 3);
  EndComplexShape();
  ASSERT_EQ(next->LeafCount(), 1);
  EXPECT_EQ(next->Root()->box.centre, (Vec3{11, 1, 0}));
}

TEST_F(CollisionApi, ResetReturnsToTheStartState) {
  ThreeOverlapping();
  SetDefaultCollisionResponse(Record, kResponseSimple, nullptr);
  SetCollisionTolerance(1e-3);
  BeginComplexShape();
  AddComplexVertex(1, 2, 3);
  ResetCollisionWorld();
  EXPECT_TRUE(g_collision.objects.empty());
  EXPECT_TRUE(g_collision.shapes.empty());
  EXPECT_TRUE(g_collision.caching);
  EXPECT_EQ(g_collision.relativeTolerance, 1e-6);
  EXPECT_EQ(g_collision.openShape, nullptr);
  EXPECT_EQ(g_collision.responses.defaultResponse.callback, nullptr);
  EXPECT_EQ(g_collision.axes[0].head.next, &g_collision.axes[0].tail);
  EXPECT_EQ(TestAllCollisions(), 0);
}

}  // namespace
