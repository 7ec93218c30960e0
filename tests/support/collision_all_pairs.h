#pragma once
// The collision library's test of all pairs without caching done the plain way: the exact test
// on every pair of objects, in key order (i, then j < i). What its broad phase must agree with.
#include <cstdint>

int32_t TestEveryCollisionPair();
