#pragma once
#include <cstdint>

#include "model/grid_mesh.h"

// The grid edits on a tiled matrix object: its tiles in its record, its grid mesh in limb 0.
// An object that is not a matrix changes nothing (and reads height 0).
void SetMatrixPointHeight(uint32_t object, int32_t x, int32_t z, float height);
void SetMatrixPointNormal(uint32_t object, int32_t x, int32_t z, float nx, float ny, float nz);
float GetMatrixPointHeight(uint32_t object, int32_t x, int32_t z);
// Each returns 1.
int32_t RandomizeMatrixHeights(uint32_t object, float maximum);
int32_t ShiftMatrix(uint32_t object, GridShift way);
