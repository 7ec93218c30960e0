// 100,000 line-of-sight tests against 2,000 boxes: the static world's sampled walk against a
// brute-force exact slab test of every segment against every box, on the same segments (fixed
// seed), in one process. Both sides take turns; the figures are medians with their spread. The
// agreement is the share of segments on which both sides see a hit or both see none.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "scene3d/static/static_world.h"

namespace {

constexpr int kBoxes = 2000, kSegments = 100000;
constexpr float kRadius = 0.5f;

struct Segment {
  float a[3], b[3];
};

// The segment against the box grown by the radius: the slab interval of t in [0, 1].
bool SlabHit(const Segment& s, const StaticBox& box) {
  float t0 = 0, t1 = 1;
  for (int k = 0; k < 3; ++k) {
    const float lo = box.min[k] - kRadius, hi = box.max[k] + kRadius, d = s.b[k] - s.a[k];
    if (std::fabs(d) < 1e-12f) {
      if (s.a[k] < lo || s.a[k] > hi) return false;
      continue;
    }
    float ta = (lo - s.a[k]) / d, tb = (hi - s.a[k]) / d;
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta), t1 = std::min(t1, tb);
    if (t0 > t1) return false;
  }
  return true;
}

}  // namespace

int main() {
  bench::PrintMachine("bench_static");
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> place(0, 1000), size(2, 20), height(0, 20), length(10, 100), turn(0, 6.2832f);
  ResetStaticWorld();
  for (int k = 0; k < kBoxes; ++k) {
    const float x = place(rng), z = place(rng), w = size(rng), d = size(rng);
    AddStaticBox(x, 0, z, x + w, size(rng), z + d);
  }
  std::vector<Segment> segments(kSegments);
  for (Segment& s : segments) {
    const float x = place(rng), z = place(rng), l = length(rng), a = turn(rng);
    s = Segment{{x, height(rng), z}, {x + l * std::cos(a), height(rng), z + l * std::sin(a)}};
  }
  std::vector<uint8_t> sampled(kSegments), exact(kSegments);
  const auto walk = [&] {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kSegments; ++i) {
      float out[3];
      const int32_t hit = TestLineAgainstStaticBoxes(segments[size_t(i)].a, segments[size_t(i)].b, kRadius, 1, out);
      // A box the walk starts in counts as a hit too.
      sampled[size_t(i)] = uint8_t(hit || out[0] != segments[size_t(i)].a[0] ||
                                   out[2] != segments[size_t(i)].a[2]);
    }
    return bench::SecondsSince(t0) * 1e3;
  };
  const auto slab = [&] {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kSegments; ++i) {
      bool hit = false;
      for (const StaticBox& box : g_staticWorld.boxes) hit = SlabHit(segments[size_t(i)], box) || hit;
      exact[size_t(i)] = hit;
    }
    return bench::SecondsSince(t0) * 1e3;
  };
  const auto t = bench::Alternate(5, {walk, slab});
  int agree = 0, hits = 0;
  for (int i = 0; i < kSegments; ++i) agree += sampled[size_t(i)] == exact[size_t(i)], hits += exact[size_t(i)];
  std::printf("static world lines: %d segments against %d boxes, %d exact hits, agreement %.2f%%\n", kSegments,
              kBoxes, hits, 100.0 * agree / kSegments);
  std::printf("  sampled walk %s ms\n  slab test    %s ms\n  ratio walk/slab %s (goal <= 1.00)\n",
              bench::Show(bench::Summarise(t[0]), 1, 1).c_str(), bench::Show(bench::Summarise(t[1]), 1, 1).c_str(),
              bench::Show(bench::Ratio(t[0], t[1]), 1, 3).c_str());
  bench::PrintLoad();
  ResetStaticWorld();
  return 0;
}
