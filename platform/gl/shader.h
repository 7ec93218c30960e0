#pragma once
#include <cstdint>

#include "platform/device3d.h"
#include "platform/gl/resources.h"

// The one shader program: it computes what the fixed-function pipeline computed, per vertex
// (transforms, lights with range and spot cones, material, global ambient, linear fog) and per
// pixel (texture, colour key, fog blend). Blending and the depth test stay with GL.
class FixedFunctionShader {
 public:
  // Compiles and links the program into the resource table; false when GL refuses it.
  bool Build(GlResources* resources);
  // Puts the program in use with the uniforms of the state.
  bool Apply(const DeviceState& state, const GlResources& resources) const;
  // Only the world transform (and the normal matrix made from it), the program in use.
  void ApplyWorld(const DeviceState& state) const;

 private:
  struct LightSlots {
    int32_t type, diffuse, ambient, position, direction, range, attenuation, falloff, cosTheta, cosPhi;
  };
  GlHandle program_ = 0;
  int32_t world_ = -1, view_ = -1, projection_ = -1, normalMatrix_ = -1;
  int32_t lighting_ = -1, materialDiffuse_ = -1, materialAmbient_ = -1, globalAmbient_ = -1, lightCount_ = -1;
  int32_t fog_ = -1, fogColour_ = -1, fogStart_ = -1, fogEnd_ = -1;
  int32_t textured_ = -1, colourKey_ = -1, texture_ = -1;
  LightSlots lights_[kMaxLights] = {};
};

// The inverse transpose of the upper 3x3 of a column-major 4x4 matrix (for normals); the
// 3x3 itself when it has no inverse.
void NormalMatrix(const float m[16], float out[9]);
