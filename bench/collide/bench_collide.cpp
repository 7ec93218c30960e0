// Object collision queries as a program asks them, against the work they stand for done
// directly, in turns on one scene:
//  - boxes: 1,000 pairs of turned cubes with oriented boxes, each pair asked with 7520 every
//    frame, against the same box tests (ObjectBoxTest) called on the same records;
//  - library: 300 spheres, one moved and object 1 asked about any object every frame (a whole
//    collision pass), against one pass of the collision library placing the same shapes by the
//    same matrices and testing all pairs.
//  - many objects: 4,000 and 8,000 cubes colliding by their boxes, far apart and crowded (each
//    meets its 26 neighbours), one moved and a query each frame, against one pass placing the
//    same shapes and running the exact test on every pair, as the pass did before it skipped
//    the pairs whose boxes do not meet.
// Prints both times of each and their ratio, medians of the rounds with their spread (goal: at
// most 1.2 for the first two; for the many objects, how much faster the pass is).
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "collision/collision.h"
#include "compiler/compiler.h"
#include "core/errors.h"
#include "core/loader.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "model/mesh_data.h"
#include "model/mesh_node.h"
#include "model/model_handle.h"
#include "platform/clock.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "runtime/subsystems.h"
#include "scene3d/collision_response.h"
#include "scene3d/object_collision.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_state.h"
#include "tests/support/collision_all_pairs.h"
#include "tests/support/image_builder.h"

namespace {

constexpr int kPairs = 1000, kBoxFrames = 200;
constexpr int kSpheres = 300, kPassFrames = 300;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// An empty scene on a null device, the command table in place.
void StartScene() {
  ResetSubsystems();
  CreateDisplayPools();
  AllocFrameRecord();
  CreateMeshPool();
  AllocMeshData();
  CreateScenePools();
  InitScene3D();
  ResetSceneRunState();
  g_display.device = CreateNullDevice();
  g_display.active = 1;
  InitCommandTable();
}

void Load(const ImageBuilder& b) {
  const std::vector<uint8_t> image = b.Build();
  std::string error;
  if (!LoadProgramFromBytes(image.data(), image.size(), &error)) std::fprintf(stderr, "bench image refused: %s\n", error.c_str());
  ResetInterpreter();
}

// Runs slices until the program reaches its next sync.
void Slice() {
  LeaveSlice = 0;
  InterpretSlice();
}

// ---- Boxes. Pair k: object 2k - 1 at the origin, object 2k beside it, turned so that every
// other pair overlaps. The program asks each pair once a frame.
int32_t g_boxResult = 0;
std::vector<std::pair<uint32_t, uint32_t>> g_boxPairs;

void BuildBoxScene() {
  StartScene();
  ImageBuilder b;
  b.Emit({403});
  // Integer literals are at most 2000: the object numbers, one of which is also f = 1.
  std::vector<int32_t> number(2 * kPairs + 1);
  for (int n = 1; n <= 2 * kPairs; ++n) number[size_t(n)] = b.Int(n);
  const int32_t f = number[1];
  const int32_t ten = b.Float(10), lo = b.Float(-5), hi = b.Float(5), zero = b.Float(0), turn = b.Float(30);
  // The pairs stand on one spot: a query names its pair, the others play no part.
  const int32_t near = b.Float(10.5f), apart = b.Float(12.5f);
  for (int k = 1; k <= kPairs; ++k) {
    for (int s = 0; s < 2; ++s) {
      const int32_t n = number[size_t(2 * k - 1 + s)];
      b.Emit({7043, n, ten});
      b.Emit({7092, n, lo, lo, lo, hi, hi, hi, f});
      b.Emit({7022, n, zero, s ? turn : zero, zero});
      b.Emit({7021, n, s ? (k % 2 ? near : apart) : zero, zero, zero});
    }
  }
  b.Emit({259});
  const int32_t result = b.IntVar();
  const int32_t top = b.Here();
  for (int k = 1; k <= kPairs; ++k) b.Emit({7520, result, number[size_t(2 * k - 1)], number[size_t(2 * k)]});
  b.Emit({259});
  b.Emit({42, top});
  Load(b);
  Slice();  // sync on
  Slice();  // the scene
  g_boxPairs.clear();
  for (int k = 1; k <= kPairs; ++k) g_boxPairs.push_back({ObjectRecordOf(2 * k - 1), ObjectRecordOf(2 * k)});
}

double BoxQueries() {
  const auto start = std::chrono::steady_clock::now();
  for (int frame = 0; frame < kBoxFrames; ++frame) Slice();
  return Seconds(std::chrono::steady_clock::now() - start);
}

double BoxTestsDirect() {
  int32_t hits = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int frame = 0; frame < kBoxFrames; ++frame)
    for (const auto& [a, b] : g_boxPairs) hits += ObjectBoxTest(a, b) ? 1 : 0;
  const double t = Seconds(std::chrono::steady_clock::now() - start);
  g_boxResult = hits;
  return t;
}

// ---- Library mode: spheres of radius 5 on a 20 x 15 grid 9 apart (neighbours overlap);
// every frame one sphere moves by a little and object 1 asks about any object.
std::vector<std::pair<CollisionKey, std::array<float, 16>>> g_placements;
int32_t g_pairsFound = 0;

void CountPair(void*, CollisionKey, CollisionKey, const CollisionData*) { ++g_pairsFound; }

// The direct side's matrices: where the scene's pass placed each shape (after a query frame).
void CapturePlacements() {
  Slice();
  g_placements.clear();
  g_objectPool.ForEachUsed([](uint32_t r, ObjectRecord& o) {
    if (r == 0 || !o.model) return;
    float w[16];
    SetMatrixIdentity(w);
    ModelHandleGetLimbMatrix(*o.model, 0, w);
    std::array<float, 16> m;
    for (int i = 0; i < 16; ++i) m[size_t(i)] = w[i];
    g_placements.push_back({MeshCollisionKey(r, 0), m});
  });
}

void BuildSphereScene() {
  StartScene();
  ImageBuilder b;
  b.Emit({403});
  const int32_t ten = b.Float(10), zero = b.Float(0);
  for (int k = 1; k <= kSpheres; ++k) {
    const int32_t n = b.Int(k);
    b.Emit({7042, n, ten});
    b.Emit({7021, n, b.Float(9.0f * (k % 20)), b.Float(9.0f * (k / 20)), zero});
  }
  b.Emit({259});
  const int32_t result = b.IntVar(), one = b.Int(1), none = b.Int(0), moved = b.Int(kSpheres / 2);
  const int32_t top = b.Here();
  const int32_t x = b.Float(9.0f * (kSpheres / 2 % 20)), y = b.Float(9.0f * (kSpheres / 2 / 20)),
                z = b.Float(0.5f);
  b.Emit({7021, moved, x, y, z});
  b.Emit({7520, result, one, none});
  b.Emit({259});
  b.Emit({42, top});
  Load(b);
  Slice();
  Slice();
  CapturePlacements();
}

double LibraryQueries() {
  const auto start = std::chrono::steady_clock::now();
  for (int frame = 0; frame < kPassFrames; ++frame) Slice();
  return Seconds(std::chrono::steady_clock::now() - start);
}

// Passes of the collision library over the captured placements, by its own test or by the
// exact test on every pair.
double DirectPasses(int passes, int32_t (*test)()) {
  SetDefaultCollisionResponse(CountPair, kResponseSimple, nullptr);
  g_pairsFound = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int frame = 0; frame < passes; ++frame) {
    for (const auto& [key, m] : g_placements) {
      SelectCollisionObject(key);
      SetCollisionMatrixF(m.data());
    }
    test();
  }
  const double t = Seconds(std::chrono::steady_clock::now() - start);
  SetDefaultCollisionResponse(CollisionResponseRecordHit, kResponseSimple, nullptr);
  return t;
}

double LibraryDirect() { return DirectPasses(kPassFrames, TestAllCollisions); }

// ---- Many objects: cubes of size 10 on a grid, spaced 40 (far apart) or 8 (crowded); each
// frame object 1 moves a little and asks about any object. The scene is made by its source.
constexpr int kManyFrames = 20;

void BuildManyScene(int count, int spacing) {
  StartScene();
  const std::string side = std::to_string(int(std::cbrt(double(count))) + 1), space = std::to_string(spacing);
  const std::string source = "sync on\nk = 0\nfor z = 0 to " + side + " - 1\nfor y = 0 to " + side +
                             " - 1\nfor x = 0 to " + side + " - 1\nif k < " + std::to_string(count) +
                             "\nk = k + 1\nmake object cube k, 10\nobject collision boxes k\n"
                             "position object k, x * " + space + ", y * " + space + ", z * " + space +
                             "\nendif\nnext x\nnext y\nnext z\nsync\nf = 0\ndo\nf = f + 1\n"
                             "position object 1, 0.001 * f, 0, 0\nh = object collision(1, 0)\nsync\nloop\n";
  Compiler compiler;
  compiler.ResetCompiler();
  compiler.LoadKeywordTable();
  const std::string image = "/tmp/bench_collide_" + std::to_string(getpid()) + ".img";
  std::string error;
  if (!compiler.CompileText(source, image) || !LoadProgram(image, &error))
    std::fprintf(stderr, "bench scene refused: %s%s\n", compiler.ResultText().c_str(), error.c_str());
  std::remove(image.c_str());
  ResetInterpreter();
  Slice();  // sync on
  Slice();  // the scene
  CapturePlacements();
}

double ManyQueries() {
  const auto start = std::chrono::steady_clock::now();
  for (int frame = 0; frame < kManyFrames; ++frame) Slice();
  return Seconds(std::chrono::steady_clock::now() - start) / kManyFrames;
}

double EveryPairPass() { return DirectPasses(1, TestEveryCollisionPair); }

}  // namespace

int main() {
  ClockUseVirtual(false);
  bench::PrintMachine("bench_collide");
  BuildBoxScene();
  BoxQueries();  // warm up
  const auto boxes = bench::Alternate(7, {BoxQueries, BoxTestsDirect});
  std::printf("box collision: %d pairs asked %d times (%d of each %d overlap)\n", kPairs, kBoxFrames,
              g_boxResult / kBoxFrames, kPairs);
  std::printf("  7520 queries %s us/frame, direct box tests %s us/frame\n  ratio %s (goal <= 1.2)\n",
              bench::Show(bench::Summarise(boxes[0]), 1e6 / kBoxFrames, 1).c_str(),
              bench::Show(bench::Summarise(boxes[1]), 1e6 / kBoxFrames, 1).c_str(),
              bench::Show(bench::Ratio(boxes[0], boxes[1])).c_str());
  BuildSphereScene();
  LibraryQueries();
  const auto passes = bench::Alternate(7, {LibraryQueries, LibraryDirect});
  std::printf("library mode: %d spheres, one moved and a query each frame (%d pairs a pass)\n", kSpheres,
              g_pairsFound / kPassFrames);
  std::printf("  7520 queries %s us/pass, direct library passes %s us/pass\n  ratio %s (goal <= 1.2)\n",
              bench::Show(bench::Summarise(passes[0]), 1e6 / kPassFrames, 1).c_str(),
              bench::Show(bench::Summarise(passes[1]), 1e6 / kPassFrames, 1).c_str(),
              bench::Show(bench::Ratio(passes[0], passes[1])).c_str());
  for (const int count : {4000, 8000})
    for (const int spacing : {40, 8}) {
      BuildManyScene(count, spacing);
      const size_t found = g_scene.collision.hitPairs.size();
      const auto many = bench::Alternate(5, {ManyQueries, EveryPairPass});
      std::printf("many objects: %d cubes %s, %zu pairs found by a pass, %d by every pair\n", count,
                  spacing == 8 ? "crowded" : "far apart", found, g_pairsFound);
      std::printf("  7520 queries %s ms/frame, every pair tested %s ms/pass\n  ratio %s (the pass against every pair)\n",
                  bench::Show(bench::Summarise(many[0]), 1e3, 2).c_str(),
                  bench::Show(bench::Summarise(many[1]), 1e3, 1).c_str(),
                  bench::Show(bench::Ratio(many[0], many[1]), 1, 4).c_str());
    }
  bench::PrintLoad();
  ResetSubsystems();
  g_display.device.reset();
  return 0;
}
