// Light commands and queries. Light 0 always exists and cannot be made or deleted; a query of a
// light that does not exist reads light 0.
#include <cmath>
#include <cstring>

#include "core/handler.h"
#include "display/record_pools.h"
#include "platform/math3d.h"
#include "scene3d/camera.h"
#include "scene3d/commands.h"
#include "scene3d/lighting.h"
#include "scene3d/object_operands.h"
#include "scene3d/scene_state.h"
#include "scene3d/record_pools.h"

namespace {

constexpr float kDegToRad = 0.017453292f;

// The record of the light named by operand 0; kNoRecord, with the error raised, when there is
// none.
uint32_t LightOperand() {
  const int32_t n = OpInt(0);
  uint32_t r = kNoRecord;
  if (n < 0 || n > kMaxLightNumber) RunError(kErrLightNumberOutOfRange);
  else if ((r = LightRecordOf(n)) == kNoRecord) RunError(kErrLightMissing);
  return r;
}

// Ends a command that changed a light: the light goes to the device and, in timed mode, the
// change shows at the next frame.
void Changed(uint32_t r) {
  UpdateLight(r);
  LeaveSlice |= g_timing.timeSliceMode;
}

// A change of one light of operands n and `count - 1` more.
template <class Change>
void ChangeLight(int count, Change&& change) {
  const uint32_t r = LightOperand();
  if (r != kNoRecord) {
    change(g_lightPool[r]);
    Changed(r);
  }
  SkipOperands(count);
}

void CmdMakeLight() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (n < 0 || n > kMaxLightNumber) return RunError(kErrLightNumberOutOfRange);
  if (n == 0 || LightRecordOf(n) != kNoRecord) return RunError(kErrLightExists);
  const uint32_t r = AllocLightRecord();
  if (r == kNoRecord) return RunError(kErrLightNotCreated);
  LightRecord& l = g_lightPool[r];
  l.inUse = 1;
  l.on = 1;
  l.type = kLightPoint;
  l.colour[0] = l.colour[1] = l.colour[2] = 1.0f;
  l.direction[2] = 1.0f;
  l.range = kDefaultLightRange;
  g_lighting.lightNumbers[n] = r;
  if (!UpdateLight(r)) {
    // The device refused it: the number stays free.
    g_lighting.lightNumbers[n] = 0;
    FreeLight(r);
    return RunError(kErrLightNotCreated);
  }
  LeaveSlice |= g_timing.timeSliceMode;
}

void CmdDeleteLight() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (n < 0 || n > kMaxLightNumber) return RunError(kErrLightNumberOutOfRange);
  if (n == 0) return RunError(kErrLightZeroDeleted);
  const uint32_t r = LightRecordOf(n);
  if (r == kNoRecord) return RunError(kErrLightMissing);
  g_lighting.lightNumbers[n] = 0;
  FreeLight(r);
  LeaveSlice |= g_timing.timeSliceMode;
}

void CmdSetPointLight() {
  const float x = OpFloat(1), y = OpFloat(2), z = OpFloat(3);
  ChangeLight(4, [&](LightRecord& l) {
    l.type = kLightPoint;
    l.position[0] = x, l.position[1] = y, l.position[2] = z;
  });
}

void CmdSetSpotLight() {
  const float inner = OpFloat(1), outer = OpFloat(2);
  ChangeLight(3, [&](LightRecord& l) {
    l.type = kLightSpot;
    l.spotInner = inner * kDegToRad;
    l.spotOuter = outer * kDegToRad;
  });
}

void CmdSetDirectionalLight() {
  const float x = OpFloat(1), y = OpFloat(2), z = OpFloat(3);
  ChangeLight(4, [&](LightRecord& l) {
    static constexpr float kOrigin[3] = {0, 0, 0};
    l.type = kLightDirectional;
    NormaliseDirectionL1(kOrigin, x, y, z, l.direction);
  });
}

void CmdPositionLight() {
  const float x = OpFloat(1), y = OpFloat(2), z = OpFloat(3);
  ChangeLight(4, [&](LightRecord& l) {
    if (l.type != kLightPoint && l.type != kLightSpot) return;
    l.position[0] = x, l.position[1] = y, l.position[2] = z;
  });
}

// The direction (0, 0, 1) turned about x, then y, then z (degrees).
void CmdRotateLight() {
  const float x = OpFloat(1) * kDegToRad, y = OpFloat(2) * kDegToRad, z = OpFloat(3) * kDegToRad;
  ChangeLight(4, [&](LightRecord& l) {
    if (l.type != kLightSpot && l.type != kLightDirectional) return;
    float rx[16], ry[16], rz[16], r[16];
    BuildRotationXMatrix(rx, x);
    BuildRotationYMatrix(ry, y);
    BuildRotationZMatrix(rz, z);
    MultiplyMatrix4x4(r, rx, ry);
    MultiplyMatrix4x4(r, r, rz);
    // (0, 0, 1) x R is the third row.
    l.direction[0] = r[8], l.direction[1] = r[9], l.direction[2] = r[10];
    l.matrixFlag = 0;
  });
}

void CmdPointLight() {
  const float x = OpFloat(1), y = OpFloat(2), z = OpFloat(3);
  ChangeLight(4, [&](LightRecord& l) {
    NormaliseDirectionL1(l.position, x, y, z, l.direction);
    l.matrixFlag = 0;
  });
}

// A change of light n from object m (operand 1): the light is checked first, then the object.
template <class Change>
void ChangeLightFromObject(Change&& change) {
  const uint32_t r = LightOperand();
  if (r != kNoRecord) {
    if (const uint32_t object = ObjectOperand(1)) {
      change(g_lightPool[r], Obj(object));
      Changed(r);
    }
  }
  SkipOperands(2);
}

void CmdPositionLightAtObject() {
  ChangeLightFromObject([](LightRecord& l, const ObjectRecord& o) {
    std::memcpy(l.position, g_framePool[o.frameIndex].position, sizeof l.position);
  });
}

// The direction the object faces, (0, 0, 1) turned as the object is drawn: by its angles x,
// then y, then z, or by its free matrix in free-matrix mode.
void CmdRotateLightToObject() {
  ChangeLightFromObject([](LightRecord& l, const ObjectRecord& o) {
    float r[16];
    if (o.freeMatrixMode == 1) {
      l.matrixFlag = 1;
      std::memcpy(l.matrix, o.freeMatrix, sizeof l.matrix);
      std::memcpy(r, o.freeMatrix, sizeof r);
    } else {
      l.matrixFlag = 0;
      l.angles[0] = o.angleX, l.angles[1] = o.angleY, l.angles[2] = o.angleZ;
      BuildRotationFromAngles(r, o.angleX * kDegToRad, o.angleY * kDegToRad, o.angleZ * kDegToRad);
    }
    l.direction[0] = r[8], l.direction[1] = r[9], l.direction[2] = r[10];
  });
}

void CmdColorLight() {
  const uint32_t c = uint32_t(OpInt(1));
  ChangeLight(2, [&](LightRecord& l) {
    l.colour[0] = float((c >> 16) & 255) / 255.0f;
    l.colour[1] = float((c >> 8) & 255) / 255.0f;
    l.colour[2] = float(c & 255) / 255.0f;
  });
}

void CmdColorLightRgb() {
  const int32_t r = OpInt(1), g = OpInt(2), b = OpInt(3);
  ChangeLight(4, [&](LightRecord& l) {
    l.colour[0] = float(r) / 255.0f;
    l.colour[1] = float(g) / 255.0f;
    l.colour[2] = float(b) / 255.0f;
  });
}

void CmdHideLight() {
  ChangeLight(1, [](LightRecord& l) { l.on = 0; });
}

void CmdShowLight() {
  ChangeLight(1, [](LightRecord& l) { l.on = 1; });
}

void CmdSetNormalizationOn() { g_scene.render.switches.normaliseOn = 1; }
void CmdSetNormalizationOff() { g_scene.render.switches.normaliseOn = 0; }

void CmdSetLightRange() {
  const float range = OpFloat(1);
  ChangeLight(2, [&](LightRecord& l) { l.range = range; });
}

// ---- Queries: result in operand 0, light number in operand 1.

// The light a query reads: light 0 for a number without a light; nullptr for a number out of
// range (the result is left as it is).
const LightRecord* QueriedLight() {
  const int32_t n = OpInt(1);
  if (n < 0 || n > kMaxLightNumber) return nullptr;
  uint32_t r = LightRecordOf(n);
  if (r == kNoRecord) r = 0;
  return g_lightPool.InUse(r) ? &g_lightPool[r] : nullptr;
}

template <class Read>
void QueryInt(Read&& read) {
  if (const LightRecord* l = QueriedLight()) OpCell(0)->i = read(*l);
  SkipOperands(2);
}

template <class Read>
void QueryFloat(Read&& read) {
  if (const LightRecord* l = QueriedLight()) OpCell(0)->f = read(*l);
  SkipOperands(2);
}

void CmdLightExist() {
  const int32_t n = OpInt(1);
  if (n >= 0 && n <= kMaxLightNumber) OpCell(0)->i = n == 0 || LightRecordOf(n) != kNoRecord ? 1 : 0;
  SkipOperands(2);
}

void CmdLightType() {
  QueryInt([](const LightRecord& l) {
    return l.type >= kLightPoint && l.type <= kLightDirectional ? int32_t(l.type) : 0;
  });
}
void CmdLightPositionX() {
  QueryFloat([](const LightRecord& l) { return l.position[0]; });
}
void CmdLightPositionY() {
  QueryFloat([](const LightRecord& l) { return l.position[1]; });
}
void CmdLightPositionZ() {
  QueryFloat([](const LightRecord& l) { return l.position[2]; });
}
void CmdLightDirectionX() {
  QueryFloat([](const LightRecord& l) { return l.direction[0]; });
}
void CmdLightDirectionY() {
  QueryFloat([](const LightRecord& l) { return l.direction[1]; });
}
void CmdLightDirectionZ() {
  QueryFloat([](const LightRecord& l) { return l.direction[2]; });
}
void CmdLightVisible() {
  QueryInt([](const LightRecord& l) { return l.on ? 1 : 0; });
}
void CmdLightRange() {
  QueryFloat([](const LightRecord& l) { return l.range; });
}

const CommandDef kLightCommands[] = {
    {7301, CmdMakeLight, "l"},
    {7302, CmdDeleteLight, "l"},
    {7303, CmdSetPointLight, "lfff"},
    {7304, CmdSetSpotLight, "lff"},
    {7305, CmdSetDirectionalLight, "lfff"},
    {7306, CmdPositionLight, "lfff"},
    {7307, CmdRotateLight, "lfff"},
    {7309, CmdPointLight, "lfff"},
    {7310, CmdColorLight, "ll"},
    {7311, CmdHideLight, "l"},
    {7312, CmdShowLight, "l"},
    {7313, CmdPositionLightAtObject, "ll"},
    {7314, CmdRotateLightToObject, "ll"},
    {7315, CmdColorLightRgb, "llll"},
    {7316, CmdSetNormalizationOn, ""},
    {7317, CmdSetNormalizationOff, ""},
    {7318, CmdSetLightRange, "lf"},
    {7701, CmdLightExist, "ll"},
    {7702, CmdLightType, "ll"},
    {7703, CmdLightPositionX, "fl"},
    {7704, CmdLightPositionY, "fl"},
    {7705, CmdLightPositionZ, "fl"},
    {7706, CmdLightDirectionX, "fl"},
    {7707, CmdLightDirectionY, "fl"},
    {7708, CmdLightDirectionZ, "fl"},
    {7709, CmdLightVisible, "ll"},
    {7710, CmdLightRange, "fl"},
};

}  // namespace

std::span<const CommandDef> LightCommands() { return kLightCommands; }
