#pragma once
// What the 3D object command handlers share: reading and checking object numbers, limb indices
// and image numbers (each reports its error through RunError and answers 0 / false), and the
// refresh. A check order is the caller's: object number range, existence, then the other
// operands in operand order. Records are pool indices: a call that can allocate may move the
// pool's array, so look a record up again (Obj) after one.
#include <cstdint>

#include "core/error_codes.h"
#include "core/handler.h"
#include "display/images.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene_state.h"

inline ObjectRecord& Obj(uint32_t record) { return g_objectPool[record]; }

// Object number in 1..65535, else error 7006.
inline bool CheckObjectNumber(int32_t number) {
  if (number >= 1 && number <= kMaxObjectNumber) return true;
  RunError(kErrObjectNumberOutOfRange);
  return false;
}
// The record of an existing object: 7006 for a number out of range, 7008 for one without an
// object; 0 after an error.
inline uint32_t ExistingObject(int32_t number) {
  if (!CheckObjectNumber(number)) return 0;
  const uint32_t r = ObjectRecordOf(number);
  if (r == 0) RunError(kErrObjectMissing);
  return r;
}
// The same for the object number in operand k.
inline uint32_t ObjectOperand(int k) { return ExistingObject(OpInt(k)); }

// The change shows at the next frame while the runtime refreshes by itself.
inline void RefreshScene() { AutoRefresh(); }

// Limb index within the record's limb array (0 <= l < capacity), else 7021.
inline bool CheckLimbIndex(uint32_t record, int32_t limb) {
  if (limb >= 0 && size_t(limb) < Obj(record).limbs.size()) return true;
  RunError(kErrLimbOutOfRange);
  return false;
}
// A valid limb index whose limb exists: 7021, then 7023.
inline bool CheckLimbExists(uint32_t record, int32_t limb) {
  if (!CheckLimbIndex(record, limb)) return false;
  if (Obj(record).limbs[size_t(limb)].exists == 1) return true;
  RunError(kErrLimbMissing);
  return false;
}

// Image number in 0..65535 (501) naming a loaded image unless it is 0 (502). *imageRecord is
// its record (0 for image 0).
inline bool CheckImageOperand(int32_t image, uint32_t* imageRecord) {
  *imageRecord = 0;
  if (image < 0 || image > kMaxImageNumber) {
    RunError(kErrImageNumberOutOfRange);
    return false;
  }
  if (image == 0) return true;
  *imageRecord = ImageRecordOf(image);
  if (*imageRecord != 0 && ImageSurfaceOf(*imageRecord)) return true;
  RunError(kErrImageMissing);
  return false;
}
