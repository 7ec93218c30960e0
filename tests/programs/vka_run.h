#pragma once
// Runs a .vka program of this folder through `vellumark run`, headless on the virtual clock,
// with an --input file, and reads back the transcript and the grabbed frame.
#include <cstdint>
#include <string>

#include "platform/surfaces.h"

struct VkaRun {
  int status = -1;
  std::string err;         // what the run wrote to stderr
  std::string transcript;  // text of every text drawing operation
  SurfacePtr grab;         // the last presented frame, X8R8G8B8 (nullptr when none was written)
  uint32_t Pixel(int32_t x, int32_t y) const { return grab ? grab->GetPixel(x, y) & 0xFFFFFF : 0xDEADBEEF; }
};

// program: a file name in tests/programs/ or a path; input: the text of the --input file;
// builtGame: compiled, then run by `exec --standalone` as a built game runs (warnings ignored).
VkaRun RunVka(const std::string& program, int64_t frames, const std::string& input = "", bool builtGame = false);
// The same for a source text written to a temporary file.
VkaRun RunVkaSource(const std::string& source, int64_t frames, const std::string& input = "",
                    bool builtGame = false);
