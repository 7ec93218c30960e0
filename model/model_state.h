#pragma once
#include <cstdint>
#include <string>

#include "platform/zeroed_pages.h"

// The state of the models subsystem, with its reset.

inline constexpr int32_t kMaxMeshNumber = 65534;

struct ModelState {
  // Mesh numbers 1..65534 to mesh data record indices, 0 for none.
  NumberTable meshNumbers{kMaxMeshNumber + 1};
  // While an object's model loads: the folder of the model file (lower-cased, with its
  // separator), tried first for the textures the model names.
  std::string modelFolder;
  // Nodes the walks of model trees have stepped to, a measure of their work.
  uint64_t nodesVisited = 0;
  // While set, a stop request ends the walks of model trees part way (see StopEndsWalks).
  bool stopEndsWalks = false;
  // Vertices the walks' mesh work has gone through since the stop request was last looked at.
  uint64_t verticesSincePoll = 0;
  // Set once a walk in the scope has seen the stop: the walk of meshes it is in ends there.
  bool walksGivenUp = false;
};
extern ModelState g_model;

// While it lives, the walks of model trees (and the limb index) give up once the process is
// asked to stop: the set-up of a model of millions of limbs after its load takes seconds. What
// such walks leave is then only half done, so the work in its scope is thrown away on a stop.
class StopEndsWalks {
 public:
  StopEndsWalks() : before_(g_model.stopEndsWalks) { g_model.stopEndsWalks = true; }
  ~StopEndsWalks() {
    g_model.stopEndsWalks = before_;
    if (!before_) g_model.walksGivenUp = false;
  }
  StopEndsWalks(const StopEndsWalks&) = delete;
  StopEndsWalks& operator=(const StopEndsWalks&) = delete;

 private:
  bool before_;
};
// True when a walk in the scope of a StopEndsWalks is to give up.
bool WalkStopped();
// The same for work on vertices, looked at once per kVerticesPerStopPoll of them (counted
// across meshes, so neither one mesh of millions of vertices nor thousands of middling ones
// hold a stop off): a mesh's loop calls it with the vertices done since its last call.
inline constexpr uint64_t kVerticesPerStopPoll = 1 << 16;
inline bool VertexWorkStopped(uint64_t vertices) {
  if (!g_model.stopEndsWalks) return false;
  g_model.verticesSincePoll += vertices;
  if (g_model.verticesSincePoll < kVerticesPerStopPoll) return false;
  g_model.verticesSincePoll = 0;
  return WalkStopped();
}

// Back to a new process's state: the mesh pool released, the maps cleared, the display's
// texture bank serving model textures again.
void ResetModelState();
// A run's start: a new mesh pool, its record 0 reserved.
bool StartModels();
// A run's end: every mesh record freed.
void StopModels();
