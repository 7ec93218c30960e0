// Object collision through the command handlers: box tests with push-back, library-mode passes
// and their hit sets, the response's filters, and a program moving one object into another.
#include <gtest/gtest.h>

#include <string>

#include "core/error_codes.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "model/mesh_node.h"
#include "runtime/subsystems.h"
#include "scene3d/collision_response.h"
#include "scene3d/object_operands.h"
#include "scene3d/objects.h"
#include "scene3d/scene.h"
#include "tests/scene3d/null_scene.h"
#include "tests/support/program_run.h"

namespace {

class CollisionTest : public NullSceneTest {
 protected:
  void SetUp() override {
    NullSceneTest::SetUp();
    ResetSceneRunState();
  }
  // Query 7519 or 7520 of a against b.
  static int32_t Query(int number, int32_t a, int32_t b) {
    CommandCall call{CallOperand::Result(), a, b};
    EXPECT_EQ(call.Run(number), 0);
    return call.Result().i;
  }
  static int32_t Collides(int32_t a, int32_t b) { return Query(7520, a, b); }
  static void Place(int32_t n, float x, float y = 0) { ASSERT_EQ(Run({n, x, y, 0.0f}, 7021), 0); }
  static FrameRecord& Frame(int32_t n) { return g_framePool[Obj(ObjectRecordOf(n)).frameIndex]; }
  // Cube n of size 10 at x with a box of -5..5: axis-aligned with push-back, or oriented.
  static void BoxCube(int32_t n, float x, bool oriented) {
    if (ObjectRecordOf(n)) {
      ASSERT_EQ(Run({n}, 7009), 0);
    }
    ASSERT_EQ(Run({n, 10.0f}, 7043), 0);
    ASSERT_EQ(Run({n, -5.0f, -5.0f, -5.0f, 5.0f, 5.0f, 5.0f, oriented ? 1 : 0}, 7092), 0);
    Place(n, x);
    Frame(n).previousPosition[0] = x;
  }
};

TEST_F(CollisionTest, BoxesHitOnlyWhenTheyOverlap) {
  const struct {
    float bx, angleY;
    bool oriented;
    int32_t hit;
  } cases[] = {
      {10.0f, 0, false, 0},    // touching faces
      {9.9f, 0, false, 1},
      {10.5f, 0, true, 0},
      {10.5f, 45, true, 1},    // the turned cube's corner reaches over
  };
  for (const auto& c : cases) {
    BoxCube(1, 0, c.oriented);
    BoxCube(2, c.bx, c.oriented);
    ASSERT_EQ(Run({2, 0.0f, c.angleY, 0.0f}, 7022), 0);
    EXPECT_EQ(Collides(1, 2), c.hit) << c.bx << " " << c.angleY;
    EXPECT_EQ(Query(7520, 1, 0), c.hit ? 2 : 0) << c.bx;
  }
}

// Axis-aligned boxes whose faces only touch, on either side and on another axis: no hit
// whichever of the two asks, about the other or about any object.
TEST_F(CollisionTest, TouchingBoxesNeverHitWhicheverAsks) {
  const struct {
    float x, y;
  } cases[] = {{10.0f, 0}, {-10.0f, 0}, {0, 10.0f}};
  for (const auto& c : cases) {
    BoxCube(1, 0, false);
    BoxCube(2, c.x, false);
    Place(2, c.x, c.y);
    EXPECT_EQ(Collides(1, 2), 0) << c.x << " " << c.y;
    EXPECT_EQ(Collides(2, 1), 0) << c.x << " " << c.y;
    EXPECT_EQ(Query(7520, 1, 0), 0) << c.x << " " << c.y;
    EXPECT_EQ(Query(7520, 2, 0), 0) << c.x << " " << c.y;
  }
}

TEST_F(CollisionTest, PushBackComesFromTheFaceNearestBeforeTheMove) {
  BoxCube(1, -12, false);
  BoxCube(2, 0, false);
  Place(1, -9, 1);  // moved into B from the lower x side; the y offset does not count
  EXPECT_EQ(Collides(1, 2), 1);
  const float* p = g_scene.collisionPushBack;
  EXPECT_FLOAT_EQ(p[0], 1.0f);
  EXPECT_EQ(p[1], 0.0f);
  EXPECT_EQ(p[2], 0.0f);
  // The next query starts from 0: no hit leaves nothing.
  Place(1, -20);
  EXPECT_EQ(Collides(1, 2), 0);
  EXPECT_EQ(p[0], 0.0f);
}

TEST_F(CollisionTest, HitReportsTheBeginningOfAContactOnly) {
  BoxCube(1, 0, false);
  BoxCube(2, 5, false);
  ASSERT_EQ(Run({3, 10.0f}, 7042), 0);  // a sphere: library mode
  Place(3, 5);
  EXPECT_EQ(Query(7519, 1, 0), 2);
  EXPECT_EQ(Query(7519, 1, 0), 0);
  EXPECT_EQ(Query(7519, 1, 0), 0);
  EXPECT_EQ(Collides(1, 3), 0);  // box mode against library mode
  ASSERT_EQ(Run({}, 7062), 0);
  EXPECT_EQ(Query(7519, 1, 2), 0);
  EXPECT_EQ(Collides(1, 2), 0);
  ASSERT_EQ(Run({}, 7061), 0);
  EXPECT_EQ(Query(7519, 1, 2), 1);  // a new contact after the pause
  EXPECT_EQ(Collides(1, 9), 0);     // a missing object
  EXPECT_EQ(Run({CallOperand::Result(), 9, 0}, 7520), kErrObjectMissing);
}

TEST_F(CollisionTest, LibraryModeShapesCollideByTheirSizes) {
  const struct {
    int kind;  // 0 spheres as made, else the fitted kind given to both cubes
    float distance;
    int32_t hit;
  } cases[] = {{0, 8, 1}, {0, 12, 0}, {7074, 9, 1}, {7074, 11, 0}, {7067, 8, 1}};
  for (const auto& c : cases) {
    for (int32_t n : {1, 2}) {
      ASSERT_EQ(Run({n, 10.0f}, c.kind ? 7043 : 7042), 0);
      if (c.kind) {
        ASSERT_EQ(Run({n}, c.kind), 0);
      }
    }
    Place(2, c.distance);
    EXPECT_EQ(Collides(1, 2), c.hit) << c.kind << " " << c.distance;
    for (int32_t n : {1, 2}) ASSERT_EQ(Run({n}, 7009), 0);
  }
}

TEST_F(CollisionTest, QueriesWhileNothingMovedUseTheLastPassesPairs) {
  for (int32_t n : {1, 2, 3}) ASSERT_EQ(Run({n, 10.0f}, 7042), 0);
  Place(2, 8);
  Place(3, 100);
  EXPECT_EQ(Collides(1, 2), 1);
  EXPECT_EQ(Collides(1, 3), 0);
  EXPECT_EQ(Collides(2, 1), 1);
  EXPECT_EQ(Query(7520, 3, 0), 0);
  // A deleted object is never reported, nor is one switched off.
  ASSERT_EQ(Run({2}, 7009), 0);
  EXPECT_EQ(Query(7520, 1, 0), 0);
  ASSERT_EQ(Run({4, 10.0f}, 7042), 0);
  Place(4, -8);
  ASSERT_EQ(Run({4}, 7064), 0);
  EXPECT_EQ(Query(7520, 1, 0), 0);
  // Collision back on gives the sphere its radius again, not a radius of 0.
  ASSERT_EQ(Run({4}, 7063), 0);
  EXPECT_EQ(Query(7520, 1, 0), 4);
}

TEST_F(CollisionTest, ACloneCollidesWithItsSourceInItsOwnPlace) {
  ASSERT_EQ(Run({1, 10.0f}, 7042), 0);
  ASSERT_EQ(Run({1, 2}, 7264), 0);
  Place(2, 8);
  EXPECT_EQ(Collides(1, 2), 1);
  Place(2, 30);
  EXPECT_EQ(Collides(2, 1), 0);
  ASSERT_EQ(Run({3, 10.0f}, 7042), 0);
  Place(3, 36);
  EXPECT_EQ(Query(7520, 2, 0), 3);
  EXPECT_EQ(Query(7520, 1, 0), 0);
  // Deleting the clone takes its collision objects: a new object in its record is not hit.
  ASSERT_EQ(Run({2}, 7009), 0);
  EXPECT_EQ(Query(7520, 3, 0), 0);
}

// The shapes of a shared model answer under the last clone made; once every clone is gone they
// answer under the source again, placed where it stands rather than where the last clone stood.
TEST_F(CollisionTest, TheSourceCollidesInItsOwnPlaceOnceItsClonesAreGone) {
  ASSERT_EQ(Run({1, 10.0f}, 7042), 0);
  for (int32_t n : {2, 3}) {
    ASSERT_EQ(Run({1, n}, 7264), 0);
    Place(n, 100.0f * float(n));
  }
  for (int32_t n : {2, 3}) ASSERT_EQ(Run({n}, 7009), 0);
  ASSERT_EQ(Run({4, 10.0f}, 7042), 0);
  Place(4, 8);
  EXPECT_EQ(Collides(4, 1), 1);
  EXPECT_EQ(Query(7520, 1, 0), 4);
}

TEST_F(CollisionTest, TheResponseIgnoresPairsThatCannotHit) {
  for (int32_t n : {1, 2, 3}) ASSERT_EQ(Run({n, 10.0f}, 7042), 0);
  const uint32_t a = ObjectRecordOf(1), b = ObjectRecordOf(2), c = ObjectRecordOf(3);
  Obj(b).collisionOn = 0;
  Frame(3).noDepth = 1;
  const struct {
    CollisionKey first, second;
  } cases[] = {
      {MeshCollisionKey(a, 0), MeshCollisionKey(a, 1)},  // two limbs of one object
      {MeshCollisionKey(a, 0), MeshCollisionKey(b, 0)},  // collision off
      {MeshCollisionKey(c, 0), MeshCollisionKey(a, 0)},  // drawn without depth
      {MeshCollisionKey(a, 0), MeshCollisionKey(77, 0)},  // no object there
  };
  for (const auto& k : cases) {
    CollisionResponseRecordHit(nullptr, k.first, k.second, nullptr);
    EXPECT_EQ(Obj(a).hitObject, 0) << k.first << " " << k.second;
  }
}

TEST_F(CollisionTest, SizeAndStatisticQueries) {
  ASSERT_EQ(Run({1, 10.0f, 4.0f, 6.0f}, 7041), 0);
  const struct {
    int number;
    float value;
  } cases[] = {{7676, 10}, {7677, 4}, {7678, 6}};
  for (const auto& c : cases) {
    CommandCall call{CallOperand::Result(), 1};
    ASSERT_EQ(call.Run(c.number), 0);
    EXPECT_FLOAT_EQ(call.Result().f, c.value) << c.number;
  }
  CommandCall statistic{CallOperand::Result(), 2};
  ASSERT_EQ(statistic.Run(7675), 0);
  EXPECT_EQ(statistic.Result().i, 0);
}

TEST(CollisionPrograms, AnObjectMovedIntoAnotherHitsOnceAndIsPushedBack) {
  const std::string source =
      "sync on\n"
      "make object cube 1,10\n"
      "make object cube 2,10\n"
      "make object collision box 1,-5,-5,-5,5,5,5,0\n"
      "make object collision box 2,-5,-5,-5,5,5,5,0\n"
      "position object 2,20,0,0\n"
      "sync\n"
      "for i=1 to 4\n"
      "position object 1,5+i*3,0,0\n"
      "print object hit(1,2);\" \";object collision(1,0)\n"
      "sync\n"
      "next i\n";
  float pushBack[3] = {-1, -1, -1};
  VkaOptions options;
  options.frames = 30;
  // The last query: A at 17 came from 14, through B's lower x face (B.minX = 15).
  options.afterRun = [&] {
    for (int i = 0; i < 3; ++i) pushBack[i] = g_scene.collisionPushBack[i];
  };
  const RunOutcome r = RunVkaSource(source, options);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "0 0\n1 2\n0 2\n0 2\n");
  EXPECT_FLOAT_EQ(pushBack[0], 7.0f);
  EXPECT_EQ(pushBack[1], 0.0f);
  EXPECT_EQ(pushBack[2], 0.0f);
}

}  // namespace
