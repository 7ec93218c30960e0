#pragma once
// The broad phase of the test of all pairs without caching: which pairs can collide at all,
// found by sorting the objects' boxes along one axis rather than by visiting every pair.
#include <cstdint>
#include <vector>

class CollisionObject;

// The pairs of the objects (given in the order the test takes them) whose placed boxes meet, as
// i << 32 | j with j < i, in ascending order: the order of a loop over i, then over j < i. A pair
// left out is one the exact test would find apart: an object without a shape or a usable
// placement, or boxes apart by more than rounding. An object whose box cannot be measured
// pairs with every other one.
std::vector<uint64_t> MeetingPairs(const std::vector<CollisionObject*>& objects);
