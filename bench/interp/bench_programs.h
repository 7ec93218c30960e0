#pragma once
#include <string>
#include <vector>

#include "tests/support/image_builder.h"

// One benchmark: the program image laid out as the compiler emits it, and the same
// algorithm in Lua.
struct BenchProgram {
  std::string name;
  ImageBuilder image;
  std::string lua;
};

std::vector<BenchProgram> MakeBenchPrograms(double scale);
// The empty program of each side, for the start-up time.
BenchProgram MakeEmptyProgram();
