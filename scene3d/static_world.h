#pragma once
#include <cstdint>

// What the camera asks of the static world of level geometry. The world is empty until it is
// built: nothing is hit.

// A line from `from` to `to` (the two further values of the query passed on): above 0 when it
// hits the world, the hit point in hit.
int32_t StaticWorldLineHit(const float from[3], const float to[3], float a, float b, float hit[3]);
// A box moved from `before` to `after` (x1, y1, z1, x2, y2, z2 each): 1 when it collides with the
// world, the vector that pushes it back out in push.
int32_t StaticWorldBoxMove(const float before[6], const float after[6], float push[3]);
