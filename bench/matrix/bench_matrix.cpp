// 4x4 float matrix product and inverse: the shared maths against glm on the same matrices,
// each timed over a chain of products (so nothing is hoisted), best of several runs.
#include <glm/glm.hpp>
#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "platform/math3d.h"

namespace {

constexpr int kMatrices = 1024;
constexpr int kRounds = 200;
constexpr int kRuns = 7;

struct Sample {
  float m[16];
};

std::vector<Sample> RandomAffine(std::mt19937& rng) {
  std::uniform_real_distribution<float> angle(-3.0f, 3.0f), place(-10.0f, 10.0f), scale(0.5f, 2.0f);
  std::vector<Sample> out(kMatrices);
  for (Sample& s : out) {
    float x[16], y[16], t[16];
    BuildRotationXMatrix(x, angle(rng));
    BuildRotationYMatrix(y, angle(rng));
    MultiplyMatrix4x4(t, x, y);
    const float k = scale(rng);
    for (int i = 0; i < 12; ++i) t[i] *= k;
    t[12] = place(rng), t[13] = place(rng), t[14] = place(rng);
    std::memcpy(s.m, t, sizeof t);
  }
  return out;
}

template <class F>
double BestNsPerCall(F&& body) {
  double best = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    const auto t0 = std::chrono::steady_clock::now();
    body();
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::nano>(t1 - t0).count() / (double(kMatrices) * kRounds));
  }
  return best;
}

volatile float g_sink;

}  // namespace

int main() {
  std::mt19937 rng(1234);
  const std::vector<Sample> mats = RandomAffine(rng);
  std::vector<glm::mat4> glmMats(kMatrices);
  // Our row-vector p x M equals glm's column-vector M' p with the same 16 floats read column-major.
  for (int i = 0; i < kMatrices; ++i) glmMats[i] = glm::make_mat4(mats[i].m);

  const double oursMul = BestNsPerCall([&] {
    float acc[16];
    SetMatrixIdentity(acc);
    for (int r = 0; r < kRounds; ++r)
      for (const Sample& s : mats) {
        MultiplyMatrix4x4(acc, acc, s.m);
        acc[15] = 1.0f;  // keep the chain finite
        acc[0] = acc[0] * 0.5f + 0.5f;
      }
    g_sink = acc[0];
  });
  const double glmMul = BestNsPerCall([&] {
    glm::mat4 acc(1.0f);
    for (int r = 0; r < kRounds; ++r)
      for (const glm::mat4& m : glmMats) {
        acc = m * acc;
        acc[3][3] = 1.0f;
        acc[0][0] = acc[0][0] * 0.5f + 0.5f;
      }
    g_sink = acc[0][0];
  });

  std::vector<Sample> outs(kMatrices);
  std::vector<glm::mat4> glmOuts(kMatrices);
  const double oursBatch = BestNsPerCall([&] {
    for (int r = 0; r < kRounds; ++r)
      for (int i = 0; i < kMatrices; ++i) MultiplyMatrix4x4(outs[i].m, mats[i].m, mats[(i + r) % kMatrices].m);
    g_sink = outs[5].m[0];
  });
  const double glmBatch = BestNsPerCall([&] {
    for (int r = 0; r < kRounds; ++r)
      for (int i = 0; i < kMatrices; ++i) glmOuts[i] = glmMats[(i + r) % kMatrices] * glmMats[i];
    g_sink = glmOuts[5][0][0];
  });
  const double oursInv = BestNsPerCall([&] {
    for (int r = 0; r < kRounds; ++r)
      for (int i = 0; i < kMatrices; ++i) InvertAffineMatrix(outs[i].m, mats[(i + r) % kMatrices].m);
    g_sink = outs[5].m[0];
  });
  const double glmAffInv = BestNsPerCall([&] {
    for (int r = 0; r < kRounds; ++r)
      for (int i = 0; i < kMatrices; ++i) glmOuts[i] = glm::affineInverse(glmMats[(i + r) % kMatrices]);
    g_sink = glmOuts[5][0][0];
  });
  const double glmInv = BestNsPerCall([&] {
    for (int r = 0; r < kRounds; ++r)
      for (int i = 0; i < kMatrices; ++i) glmOuts[i] = glm::inverse(glmMats[(i + r) % kMatrices]);
    g_sink = glmOuts[5][0][0];
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
  std::printf("multiply (chain):   ours %.2f ns, glm %.2f ns, ratio ours/glm %.3f\n", oursMul, glmMul, oursMul / glmMul);
  std::printf("multiply (batch):   ours %.2f ns, glm %.2f ns, ratio ours/glm %.3f\n", oursBatch, glmBatch,
              oursBatch / glmBatch);
  std::printf("inverse (affine):   ours %.2f ns, glm affineInverse %.2f ns, ratio %.3f\n", oursInv, glmAffInv,
              oursInv / glmAffInv);
  std::printf("inverse (general):  ours %.2f ns, glm inverse %.2f ns, ratio %.3f\n", oursInv, glmInv, oursInv / glmInv);
  return 0;
}
