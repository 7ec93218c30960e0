// The 3D maths expressions, the capability queries and the geometry routines behind them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/display.h"
#include "platform/math3d.h"
#include "scene3d/maths3d.h"
#include "tests/support/program_run.h"

namespace {

float Expression(int number, float a, float b = 0, float c = 0) {
  CommandCall call;
  call.cells[1].f = a, call.cells[2].f = b, call.cells[3].f = c;
  EXPECT_EQ(call.Run(number, number == 7952 ? 2 : 4), 0);
  return call.cells[0].f;
}

int32_t Query(int number) {
  CommandCall call;
  EXPECT_EQ(call.Run(number, 1), 0);
  return call.cells[0].i;
}

TEST(Maths3d, AnglesWrapWithinTheirCorrectionLimit) {
  const struct {
    float in, out;
  } cases[] = {{-30, 330}, {720, 0}, {359.5f, 359.5f}, {-359, 1}, {35999, 359}, {36000, 0}, {40000, 0}, {-40000, 0}};
  for (const auto& c : cases) EXPECT_FLOAT_EQ(WrapAngle(c.in), c.out) << c.in;
  EXPECT_EQ(WrapAngle(std::numeric_limits<float>::quiet_NaN()), 0.0f);
  EXPECT_EQ(Expression(7952, -30), 330.0f);
}

TEST(Maths3d, ExpressionsEaseAndStepWithTheLanguagesDegreeFactor) {
  EXPECT_EQ(Expression(7951, 10, 0, 1), 10.0f);
  EXPECT_EQ(Expression(7951, 10, 0, 2), 5.0f);
  EXPECT_EQ(Expression(7951, 10, 4, 0), 10.0f);  // speed 0 arrives at once
  EXPECT_FLOAT_EQ(Expression(7956, 10, 350, 2), 0.0f);  // the short way across 360
  EXPECT_FLOAT_EQ(Expression(7956, 350, 10, 2), 0.0f);
  EXPECT_FLOAT_EQ(Expression(7956, 90, 0, 3), 30.0f);
  EXPECT_FLOAT_EQ(Expression(7953, 0, 90, 10), float(std::sin(90 * 0.01745) * 10));
  EXPECT_NEAR(Expression(7953, 0, 180, 10), 0.00593, 1e-5);  // sin(3.141): 0.01745, not pi / 180
  EXPECT_FLOAT_EQ(Expression(7954, 1, 0, 10), 11.0f);
  EXPECT_FLOAT_EQ(Expression(7955, 5, 90, 2), float(5 - std::sin(90 * 0.01745) * 2));
}

TEST(Maths3d, CapabilityQueriesReadTheDisplaysLevels) {
  ResetDisplayState();
  for (int n = 7981; n <= 7984; ++n) EXPECT_EQ(Query(n), 0) << n;
  g_display.blendLevel = 3;
  g_display.filterLevel = 1;
  g_display.caps.fogVertex = true;
  g_display.displayOpen = 1;
  for (int n = 7981; n <= 7984; ++n) EXPECT_EQ(Query(n), 1) << n;
  ResetDisplayState();
}

TEST(Maths3d, PointAndPlaneTurns) {
  float x, y, z;
  // A quarter turn about z alone takes x to y.
  RotatePointBySinCos(1, 1, 0, 0, 0, 1, 1, 0, 0, &x, &y, &z);
  EXPECT_FLOAT_EQ(y, 1);
  EXPECT_FLOAT_EQ(x, 0);
  // About x alone: y to z.
  RotatePointBySinCos(0, 1, 1, 1, 0, 0, 0, 1, 0, &x, &y, &z);
  EXPECT_FLOAT_EQ(z, 1);
  float a, b, back1, back2;
  RotatePlane(3, 4, 0.6f, 0.8f, &a, &b);
  RotatePlaneInverse(a, b, 0.6f, 0.8f, &back1, &back2);
  EXPECT_NEAR(back1, 3, 1e-5);
  EXPECT_NEAR(back2, -4, 1e-5);  // the inverse mirrors y as written
  EXPECT_DOUBLE_EQ(Distance3D(1, 2, 3, 4, 6, 3), 5.0);
  float m[16], t[16];
  BuildRotationZMatrix(m, 0.5f);
  BuildRotationZMatrix(t, 0.25f);
  MultiplyMatrix4x4Copying(m, m, t);  // the output may be an input
  float expected[16];
  BuildRotationZMatrix(expected, 0.75f);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], expected[i], 1e-6);
}

}  // namespace
