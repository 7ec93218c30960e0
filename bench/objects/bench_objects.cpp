// 1,000 objects positioned and rotated every frame through the interpreter, against glm
// composing the same limb matrices in the same run. Our side is a `vellumark run` process whose
// program times its own frames with the timer, so start-up and the making of the objects are not
// counted; the objects are hidden and the frames not drawn, so the figure is the placement
// alone. A frame gives object i the angle r = (i + frame) modulo 360 about each axis and the
// position (i, frame, r); both sides print the sum of every object's final z position and y
// angle, compared. The two take turns; the figures are medians of the rounds with their spread.
// Usage: bench_objects [rounds] (default 5).
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/common/bench_rounds.h"

namespace {

constexpr int kObjects = 1000;
constexpr int kFrames = 400;

std::string Program() {
  return "sync on\n"
         "sync rate 0\n"
         "for i = 1 to " + std::to_string(kObjects) + "\n"
         "  make object cube i, 1\n"
         "  hide object i\n"
         "next i\n"
         "sync\n"
         "t0 = timer()\n"
         "for f = 1 to " + std::to_string(kFrames) + "\n"
         "  for i = 1 to " + std::to_string(kObjects) + "\n"
         "    r = i + f - ((i + f) / 360) * 360\n"
         "    position object i, i, f, r\n"
         "    rotate object i, r, r, r\n"
         "  next i\n"
         "next f\n"
         "t1 = timer()\n"
         "s# = 0\n"
         "for i = 1 to " + std::to_string(kObjects) + "\n"
         "  s# = s# + object position z(i) + object angle y(i)\n"
         "next i\n"
         "print t1 - t0\n"
         "print s#\n"
         "sync\n";
}

// Our side: milliseconds per frame as the program measured them, and its checksum.
double g_oursChecksum = -1;

double OursMsPerFrame(const std::string& folder) {
  const std::string out = folder + "/objects.txt";
  const std::string command = std::string(VK_EXECUTABLE) + " run " + folder + "/objects.vka --headless --transcript " +
                              out + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "bench_objects: '%s' failed\n", command.c_str());
  std::ifstream in(out);
  double ms = 0;
  in >> ms >> g_oursChecksum;
  return ms / kFrames;
}

// The limb matrix the model composes for rotation order 0 (row vectors: scale, z turn, y turn,
// x turn, move), in glm's column-vector form.
glm::mat4 LimbMatrix(float px, float py, float pz, float degrees) {
  const float a = glm::radians(degrees);
  glm::mat4 m = glm::translate(glm::mat4(1.0f), glm::vec3(px, py, pz));
  m = glm::rotate(m, a, glm::vec3(1, 0, 0));
  m = glm::rotate(m, a, glm::vec3(0, 1, 0));
  m = glm::rotate(m, a, glm::vec3(0, 0, 1));
  return m;  // scale 1: the scale step is the identity
}

std::vector<glm::mat4> g_limbs(kObjects + 1);
volatile float g_sink;

double GlmMsPerFrame() {
  const auto t0 = std::chrono::steady_clock::now();
  for (int f = 1; f <= kFrames; ++f)
    for (int i = 1; i <= kObjects; ++i) {
      const int r = (i + f) % 360;
      g_limbs[size_t(i)] = LimbMatrix(float(i), float(f), float(r), float(r));
    }
  g_sink = g_limbs[kObjects][3][2];
  return bench::SecondsSince(t0) * 1e3 / kFrames;
}

double GlmChecksum() {
  double s = 0;
  for (int i = 1; i <= kObjects; ++i) s += 2.0 * double(g_limbs[size_t(i)][3][2]);  // z position = y angle = r
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : bench::kMinRounds;
  char folderTemplate[] = "/tmp/vk_bench_XXXXXX";
  const char* folder = mkdtemp(folderTemplate);
  if (!folder) return 1;
  std::ofstream(std::string(folder) + "/objects.vka") << Program();

  bench::PrintMachine("bench_objects");
  const auto t = bench::Alternate(rounds, {[&] { return OursMsPerFrame(folder); }, GlmMsPerFrame});
  std::printf("objects: %d objects, %d frames, checksum ours %.0f, glm %.0f%s\n", kObjects, kFrames, g_oursChecksum,
              GlmChecksum(), std::fabs(g_oursChecksum - GlmChecksum()) < 0.5 ? "" : "  MISMATCH");
  std::printf("position + rotate per frame: ours %s ms, glm %s ms, ratio ours/glm %s\n",
              bench::Show(bench::Summarise(t[0]), 1, 3).c_str(), bench::Show(bench::Summarise(t[1]), 1, 3).c_str(),
              bench::Show(bench::Ratio(t[0], t[1]), 1, 2).c_str());
  std::printf("goal: at most 3x glm's time\n");
  bench::PrintLoad();
  std::system(("rm -rf " + std::string(folder)).c_str());
  return 0;
}
