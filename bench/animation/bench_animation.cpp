// Object animation: 100 objects of 30 animated limbs advanced display frame by display frame
// through the play list, against glm slerp and lerp of the same keys written into the same limb
// matrices (the peer reaches the matrices through pointers gathered beforehand and finds each
// key span by binary search). Both sides take turns, round by round; the figures are medians
// with their spread.
#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "model/model_handle.h"
#include "runtime/subsystems.h"
#include "scene3d/object_animation.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "scene3d/scene_state.h"

namespace {

constexpr int kObjects = 100;
constexpr int kLimbs = 30;
constexpr int kKeys = 16;
constexpr float kKeyStep = 4.0f;
constexpr float kSpeed = 0.37f;
constexpr int kFrames = 400;
constexpr int kRuns = 9;

// Six chains of five frames, each frame with a triangle; every frame has rotation and
// position keys at 0, 4, 8, ... from the random generator.
std::string AnimatedModel(std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::string frames, animation;
  char buf[160];
  for (int chain = 0; chain < 6; ++chain) {
    for (int depth = 0; depth < 5; ++depth) {
      frames += "Frame F" + std::to_string(chain * 5 + depth) +
                " { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,1,0,1;; }\n"
                " Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }\n";
    }
    frames += std::string(5, '}') + "\n";
  }
  for (int limb = 0; limb < kLimbs; ++limb) {
    std::string rot, pos;
    for (int k = 0; k < kKeys; ++k) {
      float q[4] = {u(rng), u(rng), u(rng), u(rng)};
      const float n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
      const char* end = k + 1 < kKeys ? ";;,\n" : ";;;\n";
      std::snprintf(buf, sizeof buf, "%d; 4; %.7f, %.7f, %.7f, %.7f%s", int(float(k) * kKeyStep), q[0] / n, q[1] / n,
                    q[2] / n, q[3] / n, end);
      rot += buf;
      std::snprintf(buf, sizeof buf, "%d; 3; %.5f, %.5f, %.5f%s", int(float(k) * kKeyStep), u(rng), u(rng), u(rng), end);
      pos += buf;
    }
    animation += "Animation { {F" + std::to_string(limb) + "}\n AnimationKey { 0; " + std::to_string(kKeys) + ";\n" +
                 rot + "}\n AnimationKey { 2; " + std::to_string(kKeys) + ";\n" + pos + "} }\n";
  }
  return "xof 0302txt 0032\n" + frames + "AnimationSet walk {\n" + animation + "}\n";
}

// The peer's copy of one track: key times and glm values, and the matrix it writes.
struct PeerTrack {
  std::vector<float> rotTimes, posTimes;
  std::vector<glm::quat> rotations;
  std::vector<glm::vec3> positions;
  float* matrix;
};
struct PeerObject {
  float frame = 0;
  std::vector<PeerTrack> tracks;
};

// The span of frame f in ascending times: index i and fraction s (the ends clamp).
inline void Span(const std::vector<float>& times, float f, size_t* i, float* s) {
  const size_t n = times.size();
  if (f <= times[0]) return *i = 0, *s = 0, void();
  if (f >= times[n - 1]) return *i = n - 2, *s = 1, void();
  *i = size_t(std::upper_bound(times.begin(), times.end(), f) - times.begin()) - 1;
  *s = (f - times[*i]) / (times[*i + 1] - times[*i]);
}

void PeerFrame(std::vector<PeerObject>& objects, float end) {
  for (PeerObject& o : objects) {
    o.frame += kSpeed;
    if (o.frame > end) o.frame = 0;
    for (PeerTrack& t : o.tracks) {
      size_t i;
      float s;
      Span(t.rotTimes, o.frame, &i, &s);
      // Our matrices are row-vector ones: the conjugate's column-major matrix has the same floats.
      glm::mat4 m = glm::mat4_cast(glm::conjugate(glm::slerp(t.rotations[i], t.rotations[i + 1], s)));
      Span(t.posTimes, o.frame, &i, &s);
      m[3] = glm::vec4(glm::mix(t.positions[i], t.positions[i + 1], s), 1.0f);
      std::memcpy(t.matrix, glm::value_ptr(m), 16 * sizeof(float));
    }
  }
}

// The local matrix of each limb of the model, by limb number.
void GatherMatrices(SceneNode* node, std::vector<float*>* out) {
  for (; node; node = node->nextSibling) {
    if (node->IsFrame() && node->limbNumber > 0 && node->limbNumber <= out->size())
      (*out)[node->limbNumber - 1] = static_cast<FrameNode*>(node)->localMatrix;
    GatherMatrices(node->firstChild, out);
  }
}

volatile float g_sink;

}  // namespace

int main() {
  ResetSubsystems();
  CreateScenePools();
  std::mt19937 rng(1234);
  XFile file;
  ParseXFile(AnimatedModel(rng), file);
  std::vector<uint32_t> records;
  std::vector<PeerObject> peer(kObjects);
  const float end = float(kKeys - 1) * kKeyStep;
  for (int k = 0; k < kObjects; ++k) {
    const uint32_t r = AllocObjectRecord();
    ObjectRecord& o = g_objectPool[r];
    o.model = std::make_shared<ModelHandle>();
    if (LoadModelXObjects(*o.model, file, nullptr) != kModelOk) return std::puts("model not loaded"), 1;
    o.limbCount = int32_t(ModelHandleGetFrameCount(*o.model));
    o.frameCount = o.endFrame = end;
    o.speed = kSpeed;
    o.interpolation = 1.0f;
    StartObjectAnimation(r, 1);
    records.push_back(r);
    std::vector<float*> matrices(size_t(kLimbs), nullptr);
    GatherMatrices(o.model->root.get(), &matrices);
    uint32_t index = 0;
    for (const AnimTrack* t = ObjectTracks(r); t; t = TrackNext(*t), ++index) {
      PeerTrack p;
      for (size_t i = 0; i + kRotationKeyFloats <= t->rotationKeys.size(); i += kRotationKeyFloats) {
        const float* q = &t->rotationKeys[i];
        p.rotTimes.push_back(q[0]);
        p.rotations.push_back(glm::quat(q[1], q[2], q[3], q[4]));
      }
      for (size_t i = 0; i + kVectorKeyFloats <= t->positionKeys.size(); i += kVectorKeyFloats) {
        const float* v = &t->positionKeys[i];
        p.posTimes.push_back(v[0]);
        p.positions.push_back(glm::vec3(v[1], v[2], v[3]));
      }
      p.matrix = matrices[size_t(TrackDrivenLimb(*t, index) - 1)];
      peer[size_t(k)].tracks.push_back(std::move(p));
    }
  }

  // Same answers: after the same frames the peer leaves the matrices ours left.
  constexpr int kCheckFrames = 37;
  for (int f = 0; f < kCheckFrames; ++f) UpdateObjectAnimations();
  std::vector<float> ours;
  for (const PeerObject& o : peer)
    for (const PeerTrack& t : o.tracks) ours.insert(ours.end(), t.matrix, t.matrix + 16);
  for (int f = 0; f < kCheckFrames; ++f) PeerFrame(peer, end);
  float worst = 0;
  size_t at = 0;
  for (const PeerObject& o : peer)
    for (const PeerTrack& t : o.tracks)
      for (int i = 0; i < 16; ++i) worst = std::max(worst, std::abs(ours[at++] - t.matrix[i]));
  bench::PrintMachine("bench_animation");
  const double limbFrames = double(kObjects) * kLimbs * kFrames;
  const auto t = bench::Alternate(kRuns, {
      [&] {
        const auto t0 = std::chrono::steady_clock::now();
        for (int f = 0; f < kFrames; ++f) UpdateObjectAnimations();
        return bench::SecondsSince(t0) * 1e9 / limbFrames;
      },
      [&] {
        const auto t0 = std::chrono::steady_clock::now();
        for (int f = 0; f < kFrames; ++f) PeerFrame(peer, end);
        g_sink = peer[0].tracks[0].matrix[0];
        return bench::SecondsSince(t0) * 1e9 / limbFrames;
      },
  });
  std::printf("animation: %d objects of %d limbs, %d keys a track, largest difference from glm %.2g\n", kObjects,
              kLimbs, kKeys, double(worst));
  std::printf("ours %s ns a limb, glm %s ns a limb, ratio ours/glm %s\n", bench::Show(bench::Summarise(t[0])).c_str(),
              bench::Show(bench::Summarise(t[1])).c_str(), bench::Show(bench::Ratio(t[0], t[1]), 1, 3).c_str());
  std::printf("goal: at most 1.5x glm's time\n");
  bench::PrintLoad();
  return 0;
}
