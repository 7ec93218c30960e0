#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>
#include <vector>

#include "collision_test_util.h"

namespace {

class SweepPrune : public CollisionTest {
 protected:
  static void Place(CollisionKey key, double x, double y, double z) {
    SelectCollisionObject(key);
    ResetCollisionTransform();
    SetCollisionPosition(x, y, z);
  }
  // Brings the selected object up to date by selecting another one.
  static void Refresh() { SelectCollisionObject(g_collision.objects.begin()->first); }

  static std::set<std::pair<CollisionKey, CollisionKey>> EncounterKeys() {
    std::set<std::pair<CollisionKey, CollisionKey>> keys;
    for (const auto& [pair, v] : g_collision.encounters) keys.insert(PairKey(pair.first->key, pair.second->key));
    return keys;
  }
  static std::set<std::pair<CollisionKey, CollisionKey>> BruteForceKeys() {
    std::set<std::pair<CollisionKey, CollisionKey>> keys;
    for (auto i = g_collision.objects.begin(); i != g_collision.objects.end(); ++i)
      for (auto j = std::next(i); j != g_collision.objects.end(); ++j) {
        const CollisionObject *a = i->second, *b = j->second;
        if (BoxesOverlap(a->shape->bbox(a->current), b->shape->bbox(b->current)))
          keys.insert(PairKey(a->key, b->key));
      }
    return keys;
  }
  // Every axis list is sorted and holds the sentinels and six end points per object.
  static void ExpectListsSound() {
    for (const EndpointList& axis : g_collision.axes) {
      size_t count = 0;
      for (const SweepEndpoint* e = axis.head.next; e != &axis.tail; e = e->next) {
        ++count;
        EXPECT_EQ(e->next->prev, e);
        if (e->next != &axis.tail) {
          EXPECT_TRUE(e->value < e->next->value || (e->value == e->next->value && e->kind <= e->next->kind) ||
                      e->next->value == 1e50);
        }
      }
      EXPECT_EQ(count, 2 * g_collision.objects.size());
    }
  }
};

TEST_F(SweepPrune, OverlapOnTheLastAxisMakesAndEndsOneEncounter) {
  CollisionShape* box = CreateCollisionBox(2, 2, 2);
  CreateCollisionObject(1, box);
  CreateCollisionObject(2, box);
  SetCollisionPosition(5, 0.5, -0.5);
  Refresh();
  EXPECT_TRUE(g_collision.encounters.empty());
  Place(2, 1.5, 0.5, -0.5);
  Refresh();
  EXPECT_EQ(g_collision.encounters.size(), 1u);
  Place(2, 5, 0.5, -0.5);
  Refresh();
  EXPECT_TRUE(g_collision.encounters.empty());
  ExpectListsSound();
}

TEST_F(SweepPrune, TouchingEndPointsCountAsOverlap) {
  CollisionShape* box = CreateCollisionBox(2, 2, 2);
  CreateCollisionObject(1, box);
  CreateCollisionObject(2, box);
  CollisionObject* a = g_collision.objects[1];
  CollisionObject* b = g_collision.objects[2];
  a->box = {{0, 0, 0}, {1, 1, 1}};
  b->box = {{2, 0, 0}, {1, 1, 1}};
  for (int k = 0; k < 3; ++k) {
    MoveSweepEndpoint(a->minimum[k], a->box.centre[k] - 1);
    MoveSweepEndpoint(a->maximum[k], a->box.centre[k] + 1);
  }
  for (int k = 0; k < 3; ++k) MoveSweepEndpoint(b->minimum[k], b->box.centre[k] - 1);
  for (int k = 0; k < 3; ++k) MoveSweepEndpoint(b->maximum[k], b->box.centre[k] + 1);
  // b's x minimum (1) sorts before a's x maximum (1).
  EXPECT_EQ(a->maximum[0].prev, &b->minimum[0]);
  EXPECT_EQ(g_collision.encounters.size(), 1u);
}

TEST_F(SweepPrune, ComplexObjectComesFirst) {
  CollisionShape* sphere = CreateCollisionSphere(1);
  CollisionShape* soup = BeginComplexShape();
  AddComplexVertex(-1, -1, 0);
  AddComplexVertex(1, -1, 0);
  AddComplexVertex(0, 1, 0);
  EndPolytope();
  EndComplexShape();
  CreateCollisionObject(1, sphere);
  CreateCollisionObject(2, soup);
  Refresh();
  ASSERT_EQ(g_collision.encounters.size(), 1u);
  EXPECT_EQ(g_collision.encounters.begin()->first.first->key, 2u);
  // Between convex objects the older one comes first, whatever the keys.
  CreateCollisionObject(0, sphere);
  Refresh();
  for (const auto& [pair, v] : g_collision.encounters)
    if (pair.first->shape == sphere && pair.second->shape == sphere) {
      EXPECT_EQ(pair.first->key, 1u);
      EXPECT_EQ(pair.second->key, 0u);
    }
}

TEST_F(SweepPrune, AddingAPresentPairKeepsItsVector) {
  CollisionShape* box = CreateCollisionBox(1, 1, 1);
  CreateCollisionObject(1, box);
  CreateCollisionObject(2, box);
  CollisionObject* a = g_collision.objects[1];
  CollisionObject* b = g_collision.objects[2];
  AddEncounter(b, a);
  g_collision.encounters.begin()->second = {1, 2, 3};
  AddEncounter(a, b);
  ASSERT_EQ(g_collision.encounters.size(), 1u);
  EXPECT_EQ(g_collision.encounters.begin()->second, (Vec3{1, 2, 3}));
  RemoveEncounter(b, a);
  EXPECT_TRUE(g_collision.encounters.empty());
  RemoveEncounter(a, b);  // absent: nothing
}

TEST_F(SweepPrune, EncountersFollowRandomMotion) {
  std::mt19937_64 rng(31);
  std::uniform_real_distribution<double> place(-12, 12), step(-1.5, 1.5), size(0.5, 3);
  std::normal_distribution<double> n(0, 1);
  std::vector<CollisionShape*> shapes;
  for (int i = 0; i < 8; ++i) shapes.push_back(CreateCollisionBox(size(rng), size(rng), size(rng)));
  shapes.push_back(CreateCollisionSphere(1.2));
  shapes.push_back(CreateCollisionCylinder(0.7, 2.5));
  shapes.push_back(CreateCollisionCone(1, 2));
  std::vector<Vec3> pos(80);
  auto create = [&](CollisionKey k) {
    CreateCollisionObject(k, shapes[k % shapes.size()]);
    pos[k] = {place(rng), place(rng), place(rng)};
    SetCollisionPosition(pos[k].x, pos[k].y, pos[k].z);
  };
  for (CollisionKey k = 0; k < 60; ++k) create(k);
  Refresh();
  EXPECT_EQ(EncounterKeys(), BruteForceKeys());
  for (int frame = 0; frame < 150; ++frame) {
    for (int moves = 0; moves < 25; ++moves) {
      CollisionKey k = rng() % 60;
      if (!g_collision.objects.count(k)) continue;
      pos[k] += Vec3{step(rng), step(rng), step(rng)};
      Place(k, pos[k].x, pos[k].y, pos[k].z);
      const double q[4] = {n(rng), n(rng), n(rng), n(rng)};
      SetCollisionOrientation(q[0], q[1], q[2], q[3]);
    }
    if (frame % 10 == 5) {
      DeleteCollisionObject(rng() % 60);
      create(60 + rng() % 20);  // may replace one made earlier
    }
    Refresh();
    ASSERT_EQ(EncounterKeys(), BruteForceKeys()) << "frame " << frame;
  }
  EXPECT_FALSE(g_collision.encounters.empty());
  ExpectListsSound();
}

TEST_F(SweepPrune, ReplacingAKeyTakesTheOldObjectOut) {
  CollisionShape* box = CreateCollisionBox(1, 1, 1);
  CreateCollisionObject(1, box);
  CreateCollisionObject(2, box);
  Refresh();
  EXPECT_EQ(g_collision.encounters.size(), 1u);
  CreateCollisionObject(2, box);
  EXPECT_EQ(g_collision.objects.size(), 2u);
  EXPECT_TRUE(g_collision.encounters.empty());
  ExpectListsSound();
  Refresh();
  EXPECT_EQ(g_collision.encounters.size(), 1u);
}

TEST_F(SweepPrune, CachingSwitches) {
  CollisionShape* box = CreateCollisionBox(1, 1, 1);
  DisableCollisionCaching();
  CreateCollisionObject(1, box);
  CreateCollisionObject(2, box);
  SetCollisionPosition(0.5, 0, 0);
  SelectCollisionObject(1);
  EXPECT_TRUE(g_collision.encounters.empty());  // end points are left alone
  EnableCollisionCaching();
  EXPECT_EQ(g_collision.encounters.size(), 1u);
  DisableCollisionCaching();
  EXPECT_EQ(g_collision.encounters.size(), 1u);  // kept
}

TEST_F(SweepPrune, ChangingAVertexBaseMovesEndPointsWithCachingOff) {
  static double tri[] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  static double far[] = {50, 0, 0, 51, 0, 0, 50, 1, 0};
  DisableCollisionCaching();
  CollisionShape* soup = BeginComplexShape();
  SetComplexVertexBase(tri);
  AddComplexPolytopeRange(kPolytopeSimplex, 0, 3);
  EndComplexShape();
  CreateCollisionObject(1, soup);
  ChangeComplexVertexBase(soup, far);
  EXPECT_NEAR(g_collision.objects[1]->minimum[0].value, 50, 1e-12);
  EXPECT_NEAR(g_collision.objects[1]->maximum[1].value, 1, 1e-12);
}

}  // namespace
