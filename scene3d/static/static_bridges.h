#pragma once
#include <cstdint>
#include <string>

// The object layer's way into the static world: object meshes in and out, boxes, the reset that
// gives converted objects back, and the file through the pack's virtual files.

// Every textured mesh of every limb of the object, copied in world space into the static world
// (one static object per limb and texture). 0, or -1 when the static world refused one (the
// rest were still tried).
int32_t AddObjectMeshesToStaticWorld(uint32_t object, int32_t occluder, int32_t low, int32_t id, int32_t fullHeight);
// The object's meshes under its own record as id.
int32_t MakeObjectStatic(uint32_t object);
void RemoveStaticObject(int32_t id);
// 0, or -1 when the box was refused.
int32_t MakeStaticBox(float x1, float y1, float z1, float x2, float y2, float z2);
// The moving-box and line tests of the static world (for the camera and collision commands).
int32_t CollideWithStaticBoxes(float ox1, float oy1, float oz1, float ox2, float oy2, float oz2, float nx1, float ny1,
                               float nz1, float nx2, float ny2, float nz2, float pushBack[3]);
int32_t TestLineStaticBoxes(float x1, float y1, float z1, float x2, float y2, float z2, float radius, float step,
                            float hit[3]);
// Empties the static world and shows again every object that was converted, clearing its mark.
void ResetStaticObjects();
// The name is mapped through the pack's files first (its last three characters as extension).
// 1, or 0 with the cause in why.
int32_t LoadStaticWorldFile(const std::string& file, std::string* why = nullptr);
// 0 when the static world holds nothing (no file is written); otherwise as SaveStaticWorld.
int32_t SaveStaticWorldFile(const std::string& file, std::string* why = nullptr);
