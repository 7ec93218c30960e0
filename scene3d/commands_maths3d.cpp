// 3D maths expressions and the 3D device's capability queries. Degrees turn into radians by
// the language's own factor, 0.01745.
#include <cmath>

#include "core/handler.h"
#include "display/display.h"
#include "scene3d/commands.h"
#include "scene3d/maths3d.h"
#include "scene3d/matrix4d.h"

namespace {

inline float F(int k) { return OpFloat(k); }
inline void SetFloat(double v) { OpCell(0)->f = float(v); }
inline void SetInt(int32_t v) { OpCell(0)->i = v; }

void CmdCurveValue() {
  SetFloat(CurveValue(F(1), F(2), F(3)));
  ProgramCounter += 4;
}

void CmdWrapValue() {
  SetFloat(WrapAngle(F(1)));
  ProgramCounter += 2;
}

// A step of r along the heading a (degrees) from the coordinate.
void CmdNewXValue() {
  SetFloat(F(1) + std::sin(DegToRad(F(2))) * F(3));
  ProgramCounter += 4;
}

void CmdNewZValue() {
  SetFloat(F(1) + std::cos(DegToRad(F(2))) * F(3));
  ProgramCounter += 4;
}

void CmdNewYValue() {
  SetFloat(F(1) - std::sin(DegToRad(F(2))) * F(3));
  ProgramCounter += 4;
}

void CmdCurveAngle() {
  SetFloat(CurveAngle(F(1), F(2), F(3)));
  ProgramCounter += 4;
}

void CmdBlendingAvailable() {
  SetInt(HasBlendCapability());
  ProgramCounter += 1;
}

void CmdFilteringAvailable() {
  SetInt(HasTextureFiltering());
  ProgramCounter += 1;
}

void CmdFogAvailable() {
  SetInt(HasFogCapability());
  ProgramCounter += 1;
}

void CmdDisplayDeviceReady() {
  SetInt(IsDisplayDeviceReady());
  ProgramCounter += 1;
}

const CommandDef kMaths3dCommands[] = {
    {7951, CmdCurveValue, "ffff"},       {7952, CmdWrapValue, "ff"},         {7953, CmdNewXValue, "ffff"},
    {7954, CmdNewZValue, "ffff"},        {7955, CmdNewYValue, "ffff"},       {7956, CmdCurveAngle, "ffff"},
    {7981, CmdBlendingAvailable, "l"},   {7982, CmdFilteringAvailable, "l"}, {7983, CmdFogAvailable, "l"},
    {7984, CmdDisplayDeviceReady, "l"},
};

}  // namespace

std::span<const CommandDef> Maths3dCommands() { return kMaths3dCommands; }
