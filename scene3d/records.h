#pragma once
#include <cstdint>
#include <memory>
#include <vector>

// Pooled records of the 3D scene: the fields the pools touch. The scene adds the rest.

struct LimbRecord {
  int32_t shown;
  int32_t meshData[2];  // mesh data records, 0 none
  int32_t textureImage, ownTexture;
};

struct ModelHandle;
// The animation an object plays (defined by the animation code).
struct ObjectAnimation;

// A 3D object or matrix.
struct ObjectRecord {
  uint32_t next, prev;
  int32_t inStaticWorld;
  int32_t gluedTo;
  std::shared_ptr<ModelHandle> model;  // shared with the object's clones
  std::shared_ptr<ObjectAnimation> playingAnimation;
  int32_t limbCount;
  float frameCount;  // the number of the last animation frame
  int32_t matrixTilesX, matrixTilesZ;  // a tiled matrix's tiles (its grid mesh is limb 0's)
  std::vector<LimbRecord> limbs;  // its size is the limb capacity
};

// A numbered light; its record index is its light number's device light while fewer than the
// device's lights are shown (see lighting.h).
struct LightRecord {
  uint32_t next, prev;
  int32_t enabledInDevice;        // its device light is switched on
  int32_t inUse, on;              // on: shown (1) or hidden (0)
  uint32_t type;                  // kLightPoint, kLightSpot or kLightDirectional
  float position[3];
  float angles[3];                // degrees, copied from an object
  int32_t matrixFlag;             // the direction came from an object's free matrix
  float matrix[16];
  float direction[3];
  float spotInner, spotOuter;     // cone angles, radians
  float colour[3];                // diffuse, 1.0 = full; not clamped
  float range;
};

// What an object record holds (its model and limb meshes) let go, implemented by the scene.
void ReleaseObjectRecordContents(uint32_t object);
