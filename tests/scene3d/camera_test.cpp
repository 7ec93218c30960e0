// The camera's rotation routines agree with each other, and its view builders place the world.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/math3d.h"
#include "scene3d/camera.h"
#include "scene3d/scene_state.h"

namespace {

// p x m for a point (w = 1).
void Place(const float m[16], const float p[3], float out[3]) {
  for (int c = 0; c < 3; ++c) out[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
}

TEST(Camera, AnglesFromPointsTurnForwardOntoTheTarget) {
  const float targets[][3] = {{10, 0, 0}, {0, 5, 5}, {-3, -4, 12}, {0, 0, -7}, {1, 8, -2}};
  for (const auto& t : targets) {
    float x, y, z;
    CameraAnglesFromPoints(0, 0, 0, t[0], t[1], t[2], &x, &y, &z);
    for (float a : {x, y}) {
      EXPECT_GE(a, 0.0f);
      EXPECT_LT(a, 6.2832f);
    }
    EXPECT_EQ(z, 0.0f);
    float r[16], forward[3];
    BuildRotationFromAngles(r, x, y, z);
    // The direction only: the rotation has no translation.
    const float ahead[3] = {0, 0, 1};
    Place(r, ahead, forward);
    const float length = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(forward[c], t[c] / length, 1e-4) << c;
    // The angles read back from the camera's rotation (with a roll) build the same rotation.
    g_scene.camera = CameraState{};
    const float angles[3] = {x, y, 0.5f};
    std::copy(angles, angles + 3, g_scene.camera.angles);
    float view[16], again[16];
    BuildCameraRotation(view);
    MatrixToAngles(view, &g_scene.camera.angles[0], &g_scene.camera.angles[1], &g_scene.camera.angles[2]);
    BuildCameraRotation(again);
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(again[k], view[k], 1e-4) << k;
  }
  g_scene.camera = CameraState{};
}

TEST(Camera, ViewsPutWhatTheCameraFacesInFrontOfIt) {
  g_scene.camera = CameraState{};
  const float point[3] = {10, 0, 20}, expect[3] = {0, 0, 10};
  float seen[3];
  // From (10, 0, 10) looking at the point, and the same by a yaw of 0 from there.
  g_scene.camera.position[0] = 10, g_scene.camera.position[2] = 10;
  g_scene.camera.lookAt[0] = 10, g_scene.camera.lookAt[2] = 20;
  ApplyCameraLookAt();
  Place(g_scene.camera.view, point, seen);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(seen[c], expect[c], 1e-4);
  ApplyCameraAngles();
  Place(g_scene.camera.view, point, seen);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(seen[c], expect[c], 1e-4);
  // Turned right by 90 degrees, a point to the right is ahead; the matrix mode agrees.
  const float right[3] = {20, 0, 10};
  g_scene.camera.angles[1] = 3.14159265f / 2;
  ApplyCameraAngles();
  Place(g_scene.camera.view, right, seen);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(seen[c], expect[c], 1e-4);
  BuildRotationYMatrix(g_scene.camera.matrix, 3.14159265f / 2);
  InvertAffineMatrix(g_scene.camera.matrix, g_scene.camera.matrix);
  ApplyCameraMatrix();
  Place(g_scene.camera.view, right, seen);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(seen[c], expect[c], 1e-4);
  g_scene.camera = CameraState{};
}

}  // namespace
