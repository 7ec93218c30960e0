#pragma once
#include <span>

#include "core/command_table.h"

// The 3D scene's command families (scene3d/commands_<family>.cpp).
std::span<const CommandDef> Maths3dCommands();
std::span<const CommandDef> LightCommands();
// Fog, ambient light and backdrop.
std::span<const CommandDef> BackdropCommands();
std::span<const CommandDef> ObjectCommands();
std::span<const CommandDef> LimbCommands();
std::span<const CommandDef> PlacementCommands();
std::span<const CommandDef> AppearanceCommands();
std::span<const CommandDef> CameraCommands();
std::span<const CommandDef> MatrixCommands();
// Collision settings and queries, sizes, screen points and statistics.
std::span<const CommandDef> CollisionCommands();
// Object animation and its key frames.
std::span<const CommandDef> ObjectAnimationCommands();
// The static world: objects in and out, boxes, its file and its drawing switches.
std::span<const CommandDef> StaticWorldCommands();
