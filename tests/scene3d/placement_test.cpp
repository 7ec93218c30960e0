// Placing 3D objects and setting how they are drawn, through the command handlers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/error_codes.h"
#include "display/display.h"
#include "display/images.h"
#include "display/record_pools.h"
#include "display/textures.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "platform/math3d.h"
#include "runtime/subsystems.h"
#include "scene3d/camera.h"
#include "scene3d/object_operands.h"
#include "scene3d/objects.h"
#include "scene3d/scene.h"
#include "tests/scene3d/null_scene.h"
#include "tests/support/program_run.h"

namespace {

class PlacementTest : public NullSceneTest {
 protected:
  void SetUp() override {
    NullSceneTest::SetUp();
    ASSERT_EQ(Run({1, 10.0f}, 7043), 0);
    ASSERT_EQ(Run({2, 10.0f}, 7043), 0);
  }
  static ObjectRecord& Object(int32_t n) { return Obj(ObjectRecordOf(n)); }
  static FrameRecord& Frame(int32_t n) { return g_framePool[Object(n).frameIndex]; }
  static const float* Position(int32_t n) { return Frame(n).position; }
  static int32_t LimbTexture(int32_t n) {
    int32_t t = -1;
    ModelHandleQueryLimbTexture(*Object(n).model, 0, &t);
    return t;
  }
};

TEST_F(PlacementTest, RotateTakesZeroTo360AndWrapsTheTop) {
  const struct {
    float x;
    int32_t error;
    float stored;
  } cases[] = {{360.0f, 0, 0.0f}, {0.0f, 0, 0.0f}, {45.0f, 0, 45.0f}, {-1.0f, kErrAngleOutOfRange, 45.0f},
               {360.5f, kErrAngleOutOfRange, 45.0f}, {std::nanf(""), kErrAngleOutOfRange, 45.0f}};
  for (const auto& c : cases) {
    EXPECT_EQ(Run({1, c.x, 0.0f, 0.0f}, 7022), c.error) << c.x;
    EXPECT_EQ(Object(1).angleX, c.stored) << c.x;
  }
  // The y angle is checked after x: a bad y leaves x as it was too.
  EXPECT_EQ(Run({1, 10.0f, 400.0f, 0.0f}, 7022), kErrAngleOutOfRange);
  EXPECT_EQ(Object(1).angleX, 45.0f);
  EXPECT_EQ(Run({0, 10.0f, 0.0f, 0.0f}, 7022), kErrObjectNumberOutOfRange);
  EXPECT_EQ(Run({3, 10.0f, 0.0f, 0.0f}, 7022), kErrObjectMissing);
}

TEST_F(PlacementTest, SetFlagsReadsOneAsSolidOpaqueCulledFilteredLit) {
  const struct {
    int32_t v;
    uint8_t wireframe, keyed, cull, filter, alt, fog, ambient;
  } cases[] = {{1, 0, 0, 1, 1, 0, 1, 1}, {0, 1, 1, 0, 0, 1, 0, 0}};
  for (const auto& c : cases) {
    ASSERT_EQ(Run({1, c.v, c.v, c.v, c.v, c.v, c.v, c.v}, 7049), 0);
    const FrameRecord& f = Frame(1);
    EXPECT_EQ(f.wireframe, c.wireframe);
    EXPECT_EQ(f.colourKeyed, c.keyed);
    EXPECT_EQ(f.cull, c.cull);
    EXPECT_EQ(f.filter, c.filter);
    EXPECT_EQ(f.altMaterial, c.alt);
    EXPECT_EQ(f.fog, c.fog);
    EXPECT_EQ(f.defaultMaterial, c.ambient);
  }
  // The three-operand form leaves the later flags alone.
  ASSERT_EQ(Run({1, 1, 1, 1}, 7010), 0);
  EXPECT_EQ(Frame(1).fog, 0);
}

TEST_F(PlacementTest, TurnsEnterFreeModeAndRotateLeavesItWithAnIdentityMatrix) {
  ASSERT_EQ(Run({1, 90.0f}, 7251), 0);
  EXPECT_EQ(Object(1).freeMatrixMode, 1);
  EXPECT_NEAR(Object(1).freeMatrix[8], 1.0f, 1e-6);  // +z turned toward +x
  ASSERT_EQ(Run({1, 0.0f, 0.0f, 0.0f}, 7022), 0);
  EXPECT_EQ(Object(1).freeMatrixMode, 0);
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  for (int k = 0; k < 16; ++k) EXPECT_EQ(Object(1).freeMatrix[k], identity[k]) << k;
  // A free orientation is copied as a matrix, an angle one as angles.
  ASSERT_EQ(Run({2, 30.0f}, 7253), 0);
  ASSERT_EQ(Run({1, 2}, 7257), 0);
  EXPECT_EQ(Object(1).freeMatrixMode, 1);
  EXPECT_EQ(Object(1).freeMatrix[6], Object(2).freeMatrix[6]);
  EXPECT_EQ(Run({1, 0}, 7257), kErrObjectNumberOutOfRange);
}

TEST_F(PlacementTest, MoveIgnoresTheRotationOrderAndPointFacesTheTarget) {
  ASSERT_EQ(Run({2}, 7037), 0);
  for (int32_t n : {1, 2}) {
    ASSERT_EQ(Run({n, 30.0f, 45.0f, 60.0f}, 7022), 0);
    ASSERT_EQ(Run({n, 10.0f}, 7617), 0);
  }
  for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(Position(1)[k], Position(2)[k]) << k;
  EXPECT_NEAR(std::hypot(Position(1)[0], Position(1)[1], Position(1)[2]), 10.0f, 1e-4);
  ASSERT_EQ(Run({1, 0.0f, 0.0f, 0.0f}, 7021), 0);
  ASSERT_EQ(Run({1, 10.0f, 0.0f, 0.0f}, 7616), 0);
  EXPECT_NEAR(Object(1).angleY, 90.0f, 1e-3);
  ASSERT_EQ(Run({1, 5.0f}, 7617), 0);
  EXPECT_NEAR(Position(1)[0], 5.0f, 1e-4);
}

TEST_F(PlacementTest, FixPivotKeepsTheLookAndCameraOrientationIsCopied) {
  const uint32_t r = ObjectRecordOf(1);
  ASSERT_EQ(Run({1, 0.0f, 90.0f, 0.0f}, 7022), 0);
  UpdateLimbWorldTransforms(r, 0);
  const float turned = Obj(r).limbs[0].dirY;
  ASSERT_EQ(Run({1}, 7618), 0);
  EXPECT_EQ(Obj(r).angleY, 0.0f);
  UpdateLimbWorldTransforms(r, 0);
  EXPECT_NEAR(Obj(r).limbs[0].dirY, turned, 1e-5);
  // Outside matrix mode the camera's angles are taken in degrees, unwrapped.
  g_scene.camera.angles[1] = -0.5f;
  ASSERT_EQ(Run({2}, 7258), 0);
  EXPECT_NEAR(Object(2).angleY, -28.64789f, 1e-4);
  g_scene.camera.viewMode = kCameraMatrix;
  ASSERT_EQ(Run({2}, 7258), 0);
  EXPECT_EQ(Object(2).freeMatrixMode, 1);
}

// The whole drawn turn of limb 0 stays as it was when the pivot is fixed: from angles on all
// three axes in either rotation order, again on top of an earlier fix (the root matrix no
// longer the identity, so the two turns must compose in the drawn order), and from free turns.
TEST_F(PlacementTest, FixPivotKeepsTheWholeDrawnOrientation) {
  const uint32_t r = ObjectRecordOf(1);
  auto drawn = [&](float m[16]) {
    Obj(r).worldTransformsValid = 0;
    UpdateLimbWorldTransforms(r, 0);
    ModelHandleGetLimbWorldMatrix(*Obj(r).model, 0, m);
  };
  const struct {
    int command;
    std::initializer_list<CallOperand> operands;
  } steps[] = {{7022, {1, 30.0f, 45.0f, 60.0f}}, {7022, {1, 80.0f, 10.0f, 200.0f}}, {7037, {1}},
               {7022, {1, 20.0f, 100.0f, 300.0f}},    {7251, {1, 35.0f}},                  {7253, {1, 50.0f}}};
  for (const auto& step : steps) {
    ASSERT_EQ(Run(step.operands, step.command), 0) << step.command;
    float before[16], after[16];
    drawn(before);
    ASSERT_EQ(Run({1}, 7618), 0);
    drawn(after);
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(after[k], before[k], 1e-5) << step.command << " " << k;
  }
}

// In free mode the object is drawn turned by the free matrix: move, pivot and the derived angles
// follow that matrix, not its inverse.
TEST_F(PlacementTest, FreeTurnsMoveFixAndReadBackAsTheObjectIsDrawn) {
  const uint32_t r = ObjectRecordOf(1);
  auto limbMatrix = [&](float m[16]) { ModelHandleGetLimbMatrix(*Obj(r).model, 0, m); };
  ASSERT_EQ(Run({1, 90.0f}, 7251), 0);
  ASSERT_EQ(Run({1, 10.0f}, 7617), 0);
  EXPECT_NEAR(Position(1)[0], 10.0f, 1e-4);
  EXPECT_NEAR(Position(1)[2], 0.0f, 1e-4);
  // The derived angles, given back to rotate in either rotation order, draw the same matrix.
  for (int order : {7036, 7037}) {
    ASSERT_EQ(Run({1}, order), 0);
    ASSERT_EQ(Run({1, 0.0f, 0.0f, 0.0f}, 7022), 0);
    for (int turn : {7252, 7253, 7256}) ASSERT_EQ(Run({1, 30.0f}, turn), 0);
    float free[16], angled[16];
    limbMatrix(free);
    const ObjectRecord& o = Obj(r);
    for (float a : {o.angleX, o.angleY, o.angleZ}) EXPECT_TRUE(a >= 0.0f && a < 360.0f) << a;
    ASSERT_EQ(Run({1, o.angleX, o.angleY, o.angleZ}, 7022), 0);
    limbMatrix(angled);
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(angled[k], free[k], 1e-4) << order << " " << k;
  }
  ASSERT_EQ(Run({1, 0.0f, 0.0f, 0.0f}, 7022), 0);
  ASSERT_EQ(Run({1, 90.0f}, 7252), 0);
  EXPECT_NEAR(Obj(r).angleY, 270.0f, 1e-3);
  UpdateLimbWorldTransforms(r, 0);
  const float turned = Obj(r).limbs[0].dirY;
  ASSERT_EQ(Run({1}, 7618), 0);
  Obj(r).worldTransformsValid = 0;
  UpdateLimbWorldTransforms(r, 0);
  EXPECT_NEAR(Obj(r).limbs[0].dirY, turned, 1e-4);
  // A camera in matrix mode hands over the orientation it faces with, and its own angles.
  g_scene.camera.viewMode = kCameraMatrix;
  BuildRotationYMatrix(g_scene.camera.matrix, -0.5f);
  ApplyCameraMatrix();
  ASSERT_EQ(Run({2}, 7258), 0);
  EXPECT_NEAR(Object(2).angleY, 28.64789f, 1e-3);
  EXPECT_NEAR(Object(2).freeMatrix[8], std::sin(0.5f), 1e-5);  // forward turned toward +x
}

// Limb 0 reuses the rotation its angles built: a new order or new angles must build it again.
TEST_F(PlacementTest, PlacingAgainComposesWhatTheAnglesAndOrderGive) {
  const uint32_t r = ObjectRecordOf(1);
  const struct {
    int command;
    std::initializer_list<CallOperand> operands;
    uint32_t order;
  } steps[] = {{7022, {1, 30.0f, 45.0f, 60.0f}, 0}, {7021, {1, 1.0f, 2.0f, 3.0f}, 0},
               {7037, {1}, 1},                         {7021, {1, 4.0f, 5.0f, 6.0f}, 1},
               {7029, {1, 10.0f}, 1},                  {7031, {1, 50.0f, 100.0f, 200.0f}, 1}};
  for (const auto& step : steps) {
    ASSERT_EQ(Run(step.operands, step.command), 0) << step.command;
    const ObjectRecord& o = Obj(r);
    const float* p = Position(1);
    float got[16], want[16];
    ModelHandleGetLimbMatrix(*o.model, 0, got);
    ModelHandleSetLimbTransform(*o.model, 0, p[0], p[1], p[2], o.angleX, o.angleY, o.angleZ, o.scaleX, o.scaleY,
                                o.scaleZ, step.order);
    ModelHandleGetLimbMatrix(*o.model, 0, want);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(got[k], want[k]) << step.command << " " << k;
  }
}

TEST_F(PlacementTest, GlueChecksTheLimbAndUnglueKeepsTheWorldPosition) {
  EXPECT_EQ(Run({1, 2, 32}, 7612), kErrLimbOutOfRange);
  EXPECT_EQ(Run({1, 2, 1}, 7612), kErrLimbMissing);
  EXPECT_EQ(Run({1}, 7613), 0);  // not glued: nothing happens
  ASSERT_EQ(Run({1, 1.0f, 1.0f, 1.0f}, 7021), 0);
  EXPECT_EQ(Position(1)[0], 1.0f);
  ASSERT_EQ(Run({2, 5.0f, 6.0f, 7.0f}, 7021), 0);
  ASSERT_EQ(Run({1, 2, 0}, 7612), 0);
  EXPECT_EQ(Object(1).gluedTo, int32_t(ObjectRecordOf(2)));
  EXPECT_EQ(Position(1)[0], 0.0f);
  ASSERT_EQ(Run({1}, 7613), 0);
  EXPECT_EQ(Object(1).gluedTo, 0);
  EXPECT_FLOAT_EQ(Position(1)[0], 5.0f);
  EXPECT_FLOAT_EQ(Position(1)[1], 6.0f);
  EXPECT_FLOAT_EQ(Position(1)[2], 7.0f);
  // Moving the other object again within the same frame is seen by the next unglue.
  ASSERT_EQ(Run({2, -5.0f, 0.0f, 0.0f}, 7021), 0);
  ASSERT_EQ(Run({1, 2, 0}, 7612), 0);
  ASSERT_EQ(Run({1}, 7613), 0);
  EXPECT_FLOAT_EQ(Position(1)[0], -5.0f);
}

TEST_F(PlacementTest, TextureZeroRemovesTexturesAndAMissingImageIsRefused) {
  const uint32_t image = BindImageNumber(1);
  ASSERT_TRUE(EnsureImageSurface(image, 8, 8));
  ASSERT_EQ(Run({1, 1}, 7035), 0);
  EXPECT_GT(LimbTexture(1), 0);
  EXPECT_EQ(Object(1).limbs[0].imageNumber, 1);
  EXPECT_EQ(Run({1, 3}, 7035), kErrImageMissing);
  EXPECT_EQ(Run({1, 65536}, 7035), kErrImageNumberOutOfRange);
  EXPECT_GT(LimbTexture(1), 0);  // an error changes nothing
  ASSERT_EQ(Run({1, 0}, 7035), 0);
  EXPECT_EQ(LimbTexture(1), 0);
  EXPECT_EQ(Object(1).limbs[0].imageNumber, 0);
  // A colour texture is the limb's own, shared by colour and given back when it changes.
  ASSERT_EQ(Run({1, 0xFF0000}, 7038), 0);
  ASSERT_EQ(Run({2, 0xFF0000}, 7038), 0);
  const int32_t red = Object(1).limbs[0].ownTexture;
  EXPECT_GT(red, 0);
  EXPECT_EQ(Object(2).limbs[0].ownTexture, red);
  ASSERT_EQ(Run({1, 0x00FF00}, 7038), 0);
  ASSERT_EQ(Run({2, 0x00FF00}, 7038), 0);
  for (const TextureNode& node : g_textures.list) EXPECT_NE(node.name, std::to_string(0xFF0000));
}

TEST_F(PlacementTest, HideShowAndGhostLeaveWhatTheyMayNotChange) {
  ASSERT_EQ(Run({1}, 7023), 0);
  EXPECT_EQ(Frame(1).visible, 0u);
  Object(1).inStaticWorld = 1;
  ASSERT_EQ(Run({1}, 7024), 0);
  EXPECT_EQ(Frame(1).visible, 0u);
  g_display.blendLevel = 0;
  ASSERT_EQ(Run({1}, 7025), 0);
  EXPECT_EQ(Frame(1).blend, 0);
  g_display.blendLevel = 1;
  ASSERT_EQ(Run({1, 1}, 7050), 0);
  EXPECT_EQ(Frame(1).blend, 1);
  EXPECT_EQ(Frame(1).blendMode, 1);
  // Address modes the device has are taken; an unknown mode leaves the one set.
  g_display.caps = g_display.device->Caps();
  ASSERT_EQ(Run({1, 1, 0}, 7075), 0);
  EXPECT_EQ(Frame(1).addressMode, 2);
  ASSERT_EQ(Run({1, 3, 0}, 7075), 0);
  EXPECT_EQ(Frame(1).addressMode, 2);
}

// A program places, turns, moves, hides and glues objects and prints what the queries read.
TEST(PlacementProgram, QueriesReadWhatTheCommandsSet) {
  const char* source =
      "make object cube 1, 10\n"
      "make object sphere 2, 4\n"
      "position object 1, 1.5, 2, -3\n"
      "print object position x(1); \" \"; object position y(1); \" \"; object position z(1)\n"
      "rotate object 1, 0, 360, 90\n"
      "print object angle x(1); \" \"; object angle y(1); \" \"; object angle z(1)\n"
      "position object 1, 0, 0, 0\n"
      "zrotate object 1, 0\n"
      "yrotate object 1, 90\n"
      "move object 1, 10\n"
      "print int(object position x(1) + 0.5); \" \"; int(object position z(1) + 0.5)\n"
      "turn object left 1, 90\n"
      "print int(object angle y(1) + 0.5)\n"
      "hide object 1\n"
      "print object visible(1)\n"
      "show object 1\n"
      "print object visible(1)\n"
      "position object 2, 4, 5, 6\n"
      "glue object to limb 1, 2, 0\n"
      "unglue object 1\n"
      "print object position x(1); \" \"; object position y(1); \" \"; object position z(1)\n";
  RunOutcome r = RunVkaSource(source, 100);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "1.5 2 -3\n0 0 90\n10 0\n270\n0\n1\n4 5 6\n");
}

}  // namespace
