// 4x4 float matrix product and affine inverse: the shared maths against glm on the same
// matrices. The chain multiplies an accumulator by rotations and moves that keep it finite, with
// nothing else written into it on either side; the batch and the inverse run over arrays.
// Both sides take turns, round by round; the figures are medians with their spread.
#include <glm/glm.hpp>
#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "platform/math3d.h"

namespace {

constexpr int kMatrices = 1024;
constexpr int kRounds = 4000;
constexpr int kRuns = 9;

struct Sample {
  float m[16];
};

// Rotations about x then y, each with a move, scaled by scale(rng) unless rigid.
std::vector<Sample> RandomAffine(std::mt19937& rng, bool rigid = false) {
  std::uniform_real_distribution<float> angle(-3.0f, 3.0f), place(-10.0f, 10.0f), scale(0.5f, 2.0f);
  std::vector<Sample> out(kMatrices);
  for (Sample& s : out) {
    float x[16], y[16], t[16];
    BuildRotationXMatrix(x, angle(rng));
    BuildRotationYMatrix(y, angle(rng));
    MultiplyMatrix4x4(t, x, y);
    const float k = rigid ? 1.0f : scale(rng);
    for (int i = 0; i < 12; ++i) t[i] *= k;
    t[12] = place(rng), t[13] = place(rng), t[14] = place(rng);
    std::memcpy(s.m, t, sizeof t);
  }
  return out;
}

// Nanoseconds per matrix of one pass of body over the samples kRounds times.
template <class F>
std::function<double()> NsPerCall(F body) {
  return [body] {
    const auto t0 = std::chrono::steady_clock::now();
    body();
    return bench::SecondsSince(t0) * 1e9 / (double(kMatrices) * kRounds);
  };
}

volatile float g_sink;

}  // namespace

int main() {
  std::mt19937 rng(1234);
  const std::vector<Sample> mats = RandomAffine(rng);
  std::vector<glm::mat4> glmMats(kMatrices);
  // Our row-vector p x M equals glm's column-vector M' p with the same 16 floats read column-major.
  for (int i = 0; i < kMatrices; ++i) glmMats[i] = glm::make_mat4(mats[i].m);

  bench::PrintMachine("bench_matrix");
  const std::vector<Sample> rigid = RandomAffine(rng, true);
  std::vector<glm::mat4> glmRigid(kMatrices);
  for (int i = 0; i < kMatrices; ++i) glmRigid[i] = glm::make_mat4(rigid[i].m);
  std::vector<Sample> outs(kMatrices);
  std::vector<glm::mat4> glmOuts(kMatrices);
  const auto t = bench::Alternate(kRuns, {
      NsPerCall([&] {
        float acc[16];
        SetMatrixIdentity(acc);
        for (int r = 0; r < kRounds; ++r)
          for (const Sample& s : rigid) MultiplyMatrix4x4(acc, acc, s.m);
        g_sink = acc[0];
      }),
      NsPerCall([&] {
        glm::mat4 acc(1.0f);
        for (int r = 0; r < kRounds; ++r)
          for (const glm::mat4& m : glmRigid) acc = m * acc;
        g_sink = acc[0][0];
      }),
      NsPerCall([&] {
        for (int r = 0; r < kRounds; ++r)
          for (int i = 0; i < kMatrices; ++i) MultiplyMatrix4x4(outs[i].m, mats[i].m, mats[(i + r) % kMatrices].m);
        g_sink = outs[5].m[0];
      }),
      NsPerCall([&] {
        for (int r = 0; r < kRounds; ++r)
          for (int i = 0; i < kMatrices; ++i) glmOuts[i] = glmMats[(i + r) % kMatrices] * glmMats[i];
        g_sink = glmOuts[5][0][0];
      }),
      NsPerCall([&] {
        for (int r = 0; r < kRounds; ++r)
          for (int i = 0; i < kMatrices; ++i) InvertAffineMatrix(outs[i].m, mats[(i + r) % kMatrices].m);
        g_sink = outs[5].m[0];
      }),
      NsPerCall([&] {
        for (int r = 0; r < kRounds; ++r)
          for (int i = 0; i < kMatrices; ++i) glmOuts[i] = glm::affineInverse(glmMats[(i + r) % kMatrices]);
        g_sink = glmOuts[5][0][0];
      }),
  });

  // Same answers: the product and the inverse agree with glm's on every sample.
  float worst = 0;
  for (int i = 0; i < kMatrices; ++i) {
    float ours[16];
    MultiplyMatrix4x4(ours, mats[i].m, mats[(i + 1) % kMatrices].m);
    const glm::mat4 ref = glmMats[(i + 1) % kMatrices] * glmMats[i];
    InvertAffineMatrix(outs[i].m, mats[i].m);
    const glm::mat4 refInv = glm::inverse(glmMats[i]);
    for (int k = 0; k < 16; ++k) {
      worst = std::max(worst, std::abs(ours[k] - glm::value_ptr(ref)[k]));
      worst = std::max(worst, std::abs(outs[i].m[k] - glm::value_ptr(refInv)[k]));
    }
  }
  std::printf("matrix: %d samples, largest difference from glm %.2g\n", kMatrices, double(worst));
  const char* names[] = {"multiply (chain)", "multiply (batch)", "inverse (affine)"};
  for (int k = 0; k < 3; ++k) {
    const auto& ours = t[size_t(2 * k)];
    const auto& glm = t[size_t(2 * k + 1)];
    std::printf("%-18s ours %s ns, glm %s ns, ratio ours/glm %s\n", names[k],
                bench::Show(bench::Summarise(ours)).c_str(), bench::Show(bench::Summarise(glm)).c_str(),
                bench::Show(bench::Ratio(ours, glm), 1, 3).c_str());
  }
  std::printf("goal: batch multiply and affine inverse at most 0.8 of glm's time\n");
  bench::PrintLoad();
  return 0;
}
