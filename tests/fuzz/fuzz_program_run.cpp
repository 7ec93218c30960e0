// Runs arbitrary code words as a program (headless, virtual clock, a few frames): whatever the
// loader accepts must run without crashing.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/startup.h"
#include "tests/support/image_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The image lives only for its run, in the run's temporary folder.
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/fuzz_program_run_" + std::to_string(getpid()) + ".img";
  }();
  ImageBuilder b;
  for (int i = 0; i < 4; ++i) {
    b.Int(i * 7 - 3);
    b.Float(float(i) * 1.5f - 2.0f);
    b.Text(std::string(size_t(i) * 3, 'x'));
    b.IntVar();
    b.FloatVar();
    b.StringVar();
    b.DataInt(i);
    b.DataText("d");
  }
  // Each 3 bytes make one code word: a selector and a 16-bit value.
  std::vector<int32_t> words;
  for (size_t i = 0; i + 3 <= size && words.size() < 400; i += 3) {
    uint32_t v = uint32_t(data[i + 1]) | uint32_t(data[i + 2]) << 8;
    int32_t w;
    switch (data[i] % 6) {
      case 0: w = int32_t(v % 10000); break;                  // a command number
      case 1: w = 13000 + int32_t(v % 4) + 2000 * int32_t(v % 3); break;  // a variable
      case 2: w = 19000 + int32_t(v % 4) + 2000 * int32_t(v % 3); break;  // a literal
      case 3: w = 10000 + int32_t(v % 20) + 1000 * int32_t(v % 3); break; // a temporary
      case 4: w = 37000 + int32_t(v % 400); break;            // a code position
      default: w = 25000 + int32_t(v % 9); break;             // a DATA position
    }
    words.push_back(w);
  }
  for (int32_t w : words) b.Emit({w});
  if (!b.WriteFile(path)) return 0;
  RunOptions o;
  o.headless = true;
  o.virtualClock = true;
  o.frames = 3;
  RunImageFile(path, o);
  unlink(path.c_str());
  return 0;
}
