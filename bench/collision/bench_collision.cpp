// GJK box-box intersection: this library against libccd on the same random poses (fixed
// seed), then the sweep-and-prune update of 1000 moving boxes against a brute-force box test.
#include <ccd/ccd.h>
#include <ccd/quat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "collision/collision.h"
#include "collision/gjk.h"
#include "collision/world.h"

namespace {

struct Pose {
  ccd_quat_t quat;
  ccd_vec3_t pos;
  double half[3];
  CollisionTransform transform;
};

// libccd's support of a placed box, through the same rotation matrix our transform holds, so
// that both sides pay the same for their support points and only the GJK loops differ.
void CcdBoxSupport(const void* obj, const ccd_vec3_t* dir, ccd_vec3_t* out) {
  const Pose* p = static_cast<const Pose*>(obj);
  const Mat3& r = p->transform.basis;
  Vec3 d{dir->v[0], dir->v[1], dir->v[2]};
  Vec3 local = MatrixTransposeTimesVector(r, d);
  Vec3 corner{local.x < 0 ? -p->half[0] : p->half[0], local.y < 0 ? -p->half[1] : p->half[1],
              local.z < 0 ? -p->half[2] : p->half[2]};
  Vec3 w = p->transform.Apply(corner);
  ccdVec3Set(out, w.x, w.y, w.z);
}

// Our basis rotates exactly as libccd's quaternion does: column c is the rotated axis c.
CollisionTransform TransformOf(const ccd_quat_t& q, const ccd_vec3_t& pos) {
  CollisionTransform t;
  for (int c = 0; c < 3; ++c) {
    ccd_vec3_t axis;
    ccdVec3Set(&axis, c == 0, c == 1, c == 2);
    ccdQuatRotVec(&axis, &q);
    for (int r = 0; r < 3; ++r) t.basis(r, c) = axis.v[r];
  }
  t.origin = {pos.v[0], pos.v[1], pos.v[2]};
  t.kind = kTransformTranslation | kTransformRotation;
  return t;
}

Pose RandomPose(std::mt19937_64& rng, double spread) {
  std::normal_distribution<double> n(0, 1);
  std::uniform_real_distribution<double> size(0.5, 2.0), place(-spread, spread);
  Pose p;
  double q[4] = {n(rng), n(rng), n(rng), n(rng)};
  double len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  ccdQuatSet(&p.quat, q[0] / len, q[1] / len, q[2] / len, q[3] / len);
  ccdVec3Set(&p.pos, place(rng), place(rng), place(rng));
  for (double& h : p.half) h = size(rng) / 2;
  p.transform = TransformOf(p.quat, p.pos);
  return p;
}

// Separating-axis answer for two boxes (15 axes), the ground truth of the hit counts.
bool BoxesIntersectSat(const Pose& a, const Pose& b) {
  Vec3 axes[15];
  int n = 0;
  for (int c = 0; c < 3; ++c) axes[n++] = {a.transform.basis(0, c), a.transform.basis(1, c), a.transform.basis(2, c)};
  for (int c = 0; c < 3; ++c) axes[n++] = {b.transform.basis(0, c), b.transform.basis(1, c), b.transform.basis(2, c)};
  for (int i = 0; i < 3; ++i)
    for (int j = 3; j < 6; ++j) {
      const Vec3 &u = axes[i], &w = axes[j];
      axes[n++] = {u.y * w.z - u.z * w.y, u.z * w.x - u.x * w.z, u.x * w.y - u.y * w.x};
    }
  Vec3 d = b.transform.origin - a.transform.origin;
  for (const Vec3& l : axes) {
    if (Dot(l, l) < 1e-12) continue;
    double ra = 0, rb = 0;
    for (int c = 0; c < 3; ++c) {
      ra += a.half[c] * std::fabs(Dot(l, axes[c]));
      rb += b.half[c] * std::fabs(Dot(l, axes[3 + c]));
    }
    if (std::fabs(Dot(l, d)) > ra + rb) return false;
  }
  return true;
}

// Nanoseconds per call of one run of f making the given calls.
template <class F>
std::function<double()> NanosPerCall(F f, size_t calls) {
  return [f, calls] {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return bench::SecondsSince(t0) * 1e9 / double(calls);
  };
}

void BenchGjk() {
  constexpr size_t kPairs = 4096;
  constexpr int kRounds = 40;
  std::mt19937_64 rng(20261207);
  std::vector<Pose> a, b;
  for (size_t i = 0; i < kPairs; ++i) {
    a.push_back(RandomPose(rng, 0));
    b.push_back(RandomPose(rng, 1.6));
  }
  std::vector<BoxShape> boxA, boxB;
  for (size_t i = 0; i < kPairs; ++i) {
    boxA.emplace_back(2 * a[i].half[0], 2 * a[i].half[1], 2 * a[i].half[2]);
    boxB.emplace_back(2 * b[i].half[0], 2 * b[i].half[1], 2 * b[i].half[2]);
  }
  ccd_t ccd;
  CCD_INIT(&ccd);
  ccd.support1 = CcdBoxSupport;
  ccd.support2 = CcdBoxSupport;
  ccd.max_iterations = 100;

  size_t hitsOurs = 0, hitsCcd = 0, disagree = 0, wrongOurs = 0, wrongCcd = 0;
  for (size_t i = 0; i < kPairs; ++i) {
    Vec3 v{0, 0, 0};
    bool ours = GjkIntersect(boxA[i], boxB[i], a[i].transform, b[i].transform, v);
    bool ref = ccdGJKIntersect(&a[i], &b[i], &ccd) != 0;
    hitsOurs += ours;
    hitsCcd += ref;
    disagree += ours != ref;
    bool truth = BoxesIntersectSat(a[i], b[i]);
    wrongOurs += ours != truth;
    wrongCcd += ref != truth;
  }
  volatile size_t sink = 0;
  const auto t = bench::Alternate(7, {NanosPerCall(
      [&] {
        size_t hits = 0;
        for (int r = 0; r < kRounds; ++r)
          for (size_t i = 0; i < kPairs; ++i) {
            Vec3 v{0, 0, 0};
            hits += GjkIntersect(boxA[i], boxB[i], a[i].transform, b[i].transform, v);
          }
        sink = sink + hits;
      },
      kPairs * kRounds),
      NanosPerCall(
      [&] {
        size_t hits = 0;
        for (int r = 0; r < kRounds; ++r)
          for (size_t i = 0; i < kPairs; ++i) hits += ccdGJKIntersect(&a[i], &b[i], &ccd) != 0;
        sink = sink + hits;
      },
      kPairs * kRounds)});
  std::printf("gjk box-box: %zu poses, hit ratio ours %.3f libccd %.3f, %zu disagree; "
              "against separating axes: ours %zu wrong, libccd %zu wrong\n",
              kPairs, double(hitsOurs) / kPairs, double(hitsCcd) / kPairs, disagree, wrongOurs, wrongCcd);
  std::printf("gjk box-box: ours %s ns/query, libccd %s ns/query\n  ratio ours/libccd %s (goal <= 0.5)\n",
              bench::Show(bench::Summarise(t[0]), 1, 1).c_str(), bench::Show(bench::Summarise(t[1]), 1, 1).c_str(),
              bench::Show(bench::Ratio(t[0], t[1]), 1, 3).c_str());
}

void BenchSweepAndPrune() {
  constexpr int kBoxes = 1000, kFrames = 200;
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> place(-50, 50), speed(-0.2, 0.2), size(0.5, 2.5);
  ResetCollisionWorld();
  std::vector<Vec3> pos(kBoxes), vel(kBoxes);
  for (int i = 0; i < kBoxes; ++i) {
    CreateCollisionObject(CollisionKey(i + 1), CreateCollisionBox(size(rng), size(rng), size(rng)));
    pos[i] = {place(rng), place(rng), place(rng)};
    vel[i] = {speed(rng), speed(rng), speed(rng)};
    SetCollisionPosition(pos[i].x, pos[i].y, pos[i].z);
  }
  auto moveAll = [&] {
    for (int i = 0; i < kBoxes; ++i) {
      pos[i] += vel[i];
      for (int k = 0; k < 3; ++k)
        if (std::fabs(pos[i][k]) > 50) vel[i][k] = -vel[i][k];
      SelectCollisionObject(CollisionKey(i + 1));
      ResetCollisionTransform();
      SetCollisionPosition(pos[i].x, pos[i].y, pos[i].z);
    }
  };
  // The sides take turns: the update with caching on (one frame first, untimed, to bring the
  // cache up to date), and the same motion with caching off plus an all-pairs box test.
  size_t encounters = 0;
  volatile size_t sink = 0;
  const auto sap = [&] {
    EnableCollisionCaching();
    moveAll();
    SelectCollisionObject(1);
    const auto t0 = std::chrono::steady_clock::now();
    for (int f = 0; f < kFrames; ++f) {
      moveAll();
      SelectCollisionObject(1);  // brings the last moved object up to date
    }
    const double t = bench::SecondsSince(t0) * 1e9 / kFrames;
    encounters = g_collision.encounters.size();
    return t;
  };
  const auto brute = [&] {
    DisableCollisionCaching();
    const auto t0 = std::chrono::steady_clock::now();
    for (int f = 0; f < kFrames; ++f) {
      moveAll();
      std::vector<BBox> boxes;
      boxes.reserve(kBoxes);
      for (auto& [key, o] : g_collision.objects) boxes.push_back(o->shape->bbox(o->current));
      size_t n = 0;
      for (int i = 0; i < kBoxes; ++i)
        for (int j = 0; j < i; ++j) n += BoxesOverlap(boxes[size_t(i)], boxes[size_t(j)]);
      sink = sink + n;
    }
    return bench::SecondsSince(t0) * 1e9 / kFrames;
  };
  const auto t = bench::Alternate(5, {sap, brute});
  std::printf("sweep and prune: %d moving boxes, %zu encounters, %s us per update, brute-force pass %s us\n"
              "  ratio %s\n",
              kBoxes, encounters, bench::Show(bench::Summarise(t[0]), 1e-3, 1).c_str(),
              bench::Show(bench::Summarise(t[1]), 1e-3, 1).c_str(), bench::Show(bench::Ratio(t[0], t[1]), 1, 3).c_str());
  ResetCollisionWorld();
}

}  // namespace

int main() {
  bench::PrintMachine("bench_collision");
  BenchGjk();
  BenchSweepAndPrune();
  bench::PrintLoad();
  return 0;
}
