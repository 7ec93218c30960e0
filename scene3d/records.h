#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// Pooled records of the 3D scene: objects (and tiled matrices) with their limbs, and lights.

// One limb of an object: the program-visible settings of one frame of its model.
struct LimbRecord {
  int32_t exists;        // existing limbs are numbered contiguously from 0 (the model's root)
  int32_t shown;         // 1 shown, 0 hidden
  int32_t imageNumber;   // image of the texture the texture commands gave (0 none)
  int32_t textureImage;  // that image's record index
  float offsetX, offsetY, offsetZ;  // position relative to the parent limb
  float angleX, angleY, angleZ;     // degrees, stored as given
  float scaleX, scaleY, scaleZ;     // 1.0 = 100 per cent
  int32_t linkable;      // 1 for a limb the program added and has not linked yet
  int32_t meshData[2];   // mesh data records the limb owns (tiled matrices), 0 none
  int32_t ownTexture;    // texture record of the limb's own colour texture, 0 none
  int32_t reserved;      // read by a limb query; nothing writes it
  float worldX, worldY, worldZ;  // world position, refreshed on demand
  float dirX, dirY, dirZ;        // world direction angles (radians), refreshed on demand
};

// An object's limb array. Copies share one array (a clone and its source), so every holder sees
// the changes made through another; the array goes with its last holder. The size is the limb
// capacity.
class LimbArray {
 public:
  LimbRecord& operator[](size_t i) { return (*v_)[i]; }
  const LimbRecord& operator[](size_t i) const { return (*v_)[i]; }
  size_t size() const { return v_ ? v_->size() : 0; }
  bool empty() const { return size() == 0; }
  LimbRecord* begin() { return v_ ? v_->data() : nullptr; }
  LimbRecord* end() { return v_ ? v_->data() + v_->size() : nullptr; }
  const LimbRecord* begin() const { return v_ ? v_->data() : nullptr; }
  const LimbRecord* end() const { return v_ ? v_->data() + v_->size() : nullptr; }
  // A fresh array of n copies, held by this holder alone.
  void assign(size_t n, const LimbRecord& value) {
    v_ = std::make_shared<std::vector<LimbRecord>>(n, value);
  }
  // Grows (or shrinks) the shared array in place: every holder sees the new size.
  void resize(size_t n, const LimbRecord& value) {
    if (!v_) v_ = std::make_shared<std::vector<LimbRecord>>();
    v_->resize(n, value);
  }
  // This holder lets go of the array (the others keep it).
  void clear() { v_.reset(); }
  // True when no other record holds the array.
  bool SoleHolder() const { return v_.use_count() <= 1; }
  bool SharesWith(const LimbArray& other) const { return v_ && v_ == other.v_; }

 private:
  std::shared_ptr<std::vector<LimbRecord>> v_;
};

struct ModelHandle;

// An object's entry in the list of playing animations: the record it animates and the tracks
// it plays. Owned by the record's playingAnimation; the list links are not owning.
struct AnimSet;
struct ObjectAnimation {
  uint32_t object = 0;
  AnimSet* tracks = nullptr;
  ObjectAnimation* next = nullptr;
  ObjectAnimation* prev = nullptr;
};

// A 3D object or matrix. Index fields hold pool indices, 0 for none.
struct ObjectRecord {
  uint32_t next, prev;
  int32_t inUse;
  int32_t inStaticWorld;  // a copy stands in the static world: hidden, show/hide and animation do nothing
  uint32_t frameIndex;    // its FrameRecord: position, visibility and render flags
  int32_t number;         // the program's object number
  float angleX, angleY, angleZ;  // degrees
  float scaleX, scaleY, scaleZ;  // 1.0 = 100 per cent
  int32_t rotationOrder;         // 0: X, Y, Z; 1: Z, Y, X
  int32_t freeMatrixMode;        // 1 while freeMatrix, not the angles, is the orientation
  float freeMatrix[16];          // row-major, row vectors
  // The rotation the angles last built for limb 0, and the angles and order it came from:
  // placing the object again with the same angles reuses it.
  uint8_t angleRotationBuilt;
  float angleRotationKey[4];
  float angleRotation[16];
  int32_t gluedTo;               // object record this one is glued to
  int32_t gluedToLimb;
  int32_t collisionOn;
  int32_t lastHit;
  std::shared_ptr<ModelHandle> model;  // shared with the object's clones
  int32_t limbCount;   // limbs of the model, the root included
  float frameCount;    // the number of the last animation frame
  int32_t playing, looping;
  float currentFrame;
  float speed;         // frames per display frame
  float startFrame, endFrame;
  int32_t interpolating;
  float interpolation;  // blend step per display frame
  // Blend start and end per track: quaternions (w, x, y, z) and three-float vectors.
  std::vector<std::array<float, 4>> rotFrom, rotTo;
  std::vector<std::array<float, 3>> scaleFrom, scaleTo, posFrom, posTo;
  float targetFrame;
  float blendFromFrame;  // the frame a blend started from
  float blendProgress;   // the share of the blend shown (0 before its first display frame)
  std::shared_ptr<ObjectAnimation> playingAnimation;  // its node in the play list
  // Collision: the shape kind given to the collision library (1 box, 2 sphere, 3 cube,
  // 4 cylinder, 5 cone, 6 plane, 51 sphere and 52 box of the mesh, 99 polygons).
  int32_t collisionShape;
  float sphereRadius;       // about sphereCentre (the vertices' mean), whole part + 1
  float sphereCentre[3];
  float size;               // radius about the model's origin, whole part + 1
  float sizeX, sizeY, sizeZ;  // extents of the model's bounding box
  uint8_t boxCollision;     // 1: collision queries use the box below, 0: the collision library
  int32_t boxPushBack;      // 1: a box test against this object stores a push-back vector
  float boxMin[3], boxMax[3];  // relative to the object's position
  float boxCentre[3];
  uint8_t boxAxisAligned;
  int32_t hitObject;        // last object found colliding with this one
  int32_t targetObject;     // object a collision query asks about, 0 any
  uint8_t targetHit;
  LimbArray limbs;          // its size is the limb capacity
  // A tiled matrix: its size, tiles (its grid mesh is limb 0's) and texture tiling.
  float matrixWidth, matrixDepth;
  int32_t matrixTilesX, matrixTilesZ;
  int32_t matrixTileCount, matrixAcross, matrixDown;
  uint8_t worldTransformsValid;  // limbs' world fields up to date for this display frame
  // Every mesh holds a box shape of its own geometry under this record, as adding a limb
  // leaves it: the next added limb needs a shape for its own mesh only. Anything else that
  // gives, takes or reshapes shapes clears it.
  uint8_t limbShapesWhole;
  // The other records that hold the same model (clones), linked both ways; 0 none.
  uint32_t nextSharer, prevSharer;
  // Records whose gluedTo or hitObject may name this one (some no longer do), so deleting it
  // visits only those; compacted once it doubles past referrersKept.
  std::vector<uint32_t> referrers;
  uint32_t referrersKept;
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
