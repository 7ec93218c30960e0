// The test of all pairs without caching skips pairs whose boxes do not meet: on every scene it
// calls back for the same pairs, in the same order, as the exact test on every pair does.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "collision_test_util.h"
#include "tests/support/collision_all_pairs.h"

namespace {

struct Hit {
  CollisionKey first, second;
  bool operator==(const Hit&) const = default;
};
std::vector<Hit> g_hits;
bool g_deleteOnHit = false;

void Record(void*, CollisionKey a, CollisionKey b, const CollisionData*) {
  g_hits.push_back({a, b});
  // A response may take an object out while the loop runs: its later pairs are not tested.
  if (g_deleteOnHit && g_hits.size() % 3 == 0) DeleteCollisionObject(b);
}

void Place(CollisionKey key, CollisionShape* shape, double x, double y, double z) {
  CreateCollisionObject(key, shape);
  SetCollisionPosition(x, y, z);
}

void RandomShapes(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> size(0.5, 4);
  for (CollisionKey k = 1; k <= 300; ++k) {
    CollisionShape* shapes[] = {CreateCollisionBox(size(rng), size(rng), size(rng)),
                                CreateCollisionSphere(size(rng) / 2), CreateCollisionCone(size(rng) / 2, size(rng)),
                                CreateCollisionCylinder(size(rng) / 2, size(rng))};
    CreateCollisionObject(k * 7 % 307, shapes[k % 4]);  // keys out of creation order
    g_collision.selected->current = RandomPlacement(rng, 25, k % 2 == 0);
  }
}

// Unit boxes whose faces, edges and corners touch, and pairs a hair apart.
void TouchingBoxes(std::mt19937_64&) {
  CollisionShape* box = CreateCollisionBox(1, 1, 1);
  CollisionKey k = 1;
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 4; ++y) Place(k++, box, x, y, (x + y) % 2);
  for (double gap : {0.0, 1e-12, 1e-9, 1e-6})
    for (int s = 0; s < 2; ++s) Place(k++, box, 1000 + s * (1 + gap), 2000 + 10 * gap * 1e6, -500);
}

void EqualBoxes(std::mt19937_64&) {
  CollisionShape* box = CreateCollisionBox(2, 2, 2);
  for (CollisionKey k = 1; k <= 20; ++k) Place(k, k % 2 ? box : CreateCollisionBox(2, 2, 2), 5, 5, 5);
}

// Huge boxes and spheres put against each other along an axis, some a few ulps apart: their
// placed boxes, rounded, fall apart by more than the library's tolerance where the exact test,
// its search stalled in the rounding of points so large, still finds them touching.
void TouchingHuge(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> size(1e6, 1e9), side(-0.4, 0.4);
  for (CollisionKey k = 1; k <= 100; k += 2) {
    const double a = size(rng), b = size(rng), c = size(rng);
    const double x = 4e9 * double(k), y = side(rng) * b, z = side(rng) * c;
    const bool spheres = k % 4 == 3;
    double apart = spheres ? a + b : a;  // between centres when touching, then 0 to 3 ulps more
    for (int ulps = int(k / 2 % 4); ulps > 0; --ulps) apart = std::nextafter(apart, 1e300);
    if (spheres) {
      Place(k, CreateCollisionSphere(a), x, 0, 0);
      Place(k + 1, CreateCollisionSphere(b), x + apart, 0, 0);
    } else {
      CollisionShape* box = CreateCollisionBox(a, b, c);
      Place(k, box, x, 0, 0);
      Place(k + 1, box, x + apart, y, z);
    }
  }
}

// Polygon soups with corners so far out that their placed boxes overflow: each pairs with every
// other object, and its near faces still meet what lies across them.
void OverflowingSoups(std::mt19937_64&) {
  CollisionShape* soups[2];
  for (int s = 0; s < 2; ++s) {
    soups[s] = BeginComplexShape();
    for (const Vec3& p : {Vec3{-4, 0, -4}, Vec3{4, 0, -4}, Vec3{0, 0, 4}})
      s == 0 ? AddComplexVertex(p.x, p.y, p.z) : AddComplexVertex(p.y, p.x, p.z);  // flat, or upright
    EndPolytope();
    AddComplexVertex(-1e308, 50, 0);
    AddComplexVertex(1e308, 50, 0);
    AddComplexVertex(0, 50, 1);
    EndPolytope();
    EndComplexShape();
  }
  Place(1, soups[0], 0, 0, 0);
  Place(2, soups[1], 0, 0, 0);
  Place(3, CreateCollisionBox(1, 1, 1), 1, 0, 1);
  Place(4, CreateCollisionBox(1, 1, 1), 20, 20, 20);
}

// Boxes inside boxes, and a polygon soup round the middle ones.
void NestedBoxes(std::mt19937_64&) {
  for (CollisionKey k = 1; k <= 12; ++k) Place(k, CreateCollisionBox(2.0 * double(k), double(k), 3.0 * double(k)), 0.1, 0, 0);
  CollisionShape* soup = BeginComplexShape();
  AddComplexVertex(-4, 0, -4);
  AddComplexVertex(4, 0, -4);
  AddComplexVertex(0, 0, 4);
  EndPolytope();
  EndComplexShape();
  Place(13, soup, 0, 0.2, 0);
  Place(14, soup, 50, 0, 0);
}

// Placed, tested and then moved: some apart, some together, one to a place that is not a
// number, one with no shape left.
void MovedObjects(std::mt19937_64& rng) {
  RandomShapes(rng);
  TestAllCollisions();
  ProceedCollisions();
  std::uniform_real_distribution<double> step(-8, 8);
  for (CollisionKey k = 1; k <= 300; k += 3) {
    SelectCollisionObject(k);
    SetCollisionPosition(step(rng), step(rng), step(rng));
  }
  SelectCollisionObject(5);
  SetCollisionPosition(std::numeric_limits<double>::quiet_NaN(), 0, 0);
  SelectCollisionObject(6);
  SetCollisionPosition(1e308, 1e308, 0);
  CollisionShape* gone = CreateCollisionSphere(100);
  Place(400, gone, 0, 0, 0);
  DeleteCollisionShape(gone);
}

// The hits of one test of all pairs, by the broad phase or by the exact test on every pair.
std::vector<Hit> Hits(const std::function<void(std::mt19937_64&)>& scene, int32_t type, bool everyPair) {
  ResetCollisionWorld();
  DisableCollisionCaching();
  std::mt19937_64 rng(7);
  scene(rng);
  SetDefaultCollisionResponse(Record, type, nullptr);
  g_hits.clear();
  const int32_t count = everyPair ? TestEveryCollisionPair() : TestAllCollisions();
  EXPECT_EQ(count, int32_t(g_hits.size()));
  return g_hits;
}

TEST_F(CollisionTest, TheBroadPhaseFindsWhatEveryPairFinds) {
  const struct {
    const char* name;
    std::function<void(std::mt19937_64&)> scene;
    bool deleteOnHit;
  } kScenes[] = {
      {"random shapes", RandomShapes, false},    {"touching boxes", TouchingBoxes, false},
      {"equal boxes", EqualBoxes, false},        {"nested boxes", NestedBoxes, false},
      {"moved objects", MovedObjects, false},    {"deleted while testing", RandomShapes, true},
      {"touching huge", TouchingHuge, false}, {"overflowing soups", OverflowingSoups, false},
  };
  for (const auto& c : kScenes)
    for (int32_t type : {kResponseSimple, kResponsePreviousPoints, kResponseCommonPoint}) {
      g_deleteOnHit = c.deleteOnHit;
      const std::vector<Hit> broad = Hits(c.scene, type, false);
      const std::vector<Hit> every = Hits(c.scene, type, true);
      g_deleteOnHit = false;
      EXPECT_FALSE(every.empty()) << c.name;
      EXPECT_TRUE(broad == every) << c.name << " type " << type << ": " << broad.size() << " hits against "
                                  << every.size();
    }
}

}  // namespace
