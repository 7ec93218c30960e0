#pragma once
#include <string>

#include "platform/surfaces.h"

// Compares a rectangle of a surface with the picture tests/devenv/golden/<name>.png. A missing
// picture (or VK_UPDATE_GOLDEN=1 in the environment) writes it from the surface and fails.
void ExpectMatchesGolden(const Surface& s, const SurfRect& r, const std::string& name);
