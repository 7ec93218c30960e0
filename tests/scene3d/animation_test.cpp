// Object animation on a generated two-limb model: playback speeds, ranges and ends, blending
// to a frame, key frames recorded from the pose, append, save and merge, and a program that
// prints frames and limb positions as it plays.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <vector>

#include "core/error_codes.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "display/textures.h"
#include "model/mesh_data.h"
#include "model/model_handle.h"
#include "model/model_state.h"
#include "platform/fs.h"
#include "runtime/subsystems.h"
#include "scene3d/object_animation.h"
#include "scene3d/object_operands.h"
#include "scene3d/record_pools.h"
#include "scene3d/scene.h"
#include "tests/model/model_fixtures.h"
#include "tests/scene3d/null_scene.h"
#include "tests/support/program_run.h"

namespace {

// Body (limb 1) turns from no turn to 90 degrees about z and moves from x 0 to 10 over frames
// 0..10; Arm (limb 2, under Body) moves from y 1 to 3.
const char* const kTwoLimbModel =
    "xof 0302txt 0032\n"
    "Frame Body {\n"
    "  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n"
    "  Mesh m1 { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }\n"
    "  Frame Arm {\n"
    "    FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,1,0,1;; }\n"
    "    Mesh m2 { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }\n"
    "  }\n"
    "}\n"
    "AnimationSet walk {\n"
    "  Animation { {Body}\n"
    "    AnimationKey { 0; 2; 0; 4; 1.0, 0.0, 0.0, 0.0;;, 10; 4; 0.70710678, 0.0, 0.0, 0.70710678;;; }\n"
    "    AnimationKey { 2; 2; 0; 3; 0.0, 0.0, 0.0;;, 10; 3; 10.0, 0.0, 0.0;;; } }\n"
    "  Animation { {Arm} AnimationKey { 2; 2; 0; 3; 0.0, 1.0, 0.0;;, 10; 3; 0.0, 3.0, 0.0;;; } }\n"
    "}\n";

std::string ModelPath() { return FsTempFolder() + "/animation_test_model.x"; }

class AnimationTest : public NullSceneTest {
 protected:
  void SetUp() override {
    NullSceneTest::SetUp();
    ASSERT_TRUE(FsWriteFileAtomic(ModelPath(), kTwoLimbModel));
    ASSERT_EQ(Run({ModelPath(), 1}, 7000), 0);
  }
  void TearDown() override {
    std::filesystem::remove(ModelPath());
    NullSceneTest::TearDown();
  }
  static VarCell Query(int number, int32_t object) {
    CommandCall call{CallOperand::Result(), object};
    EXPECT_EQ(call.Run(number), 0);
    return call.Result();
  }
  static void Frames(int count) {
    for (int i = 0; i < count; ++i) UpdateObjectAnimations();
  }
  static ObjectRecord& Object(int32_t n) { return Obj(ObjectRecordOf(n)); }
  static std::vector<float> LimbLocal(int32_t n, uint32_t limb) {
    std::vector<float> m(16, 0.0f);
    ModelHandleGetLimbMatrix(*Object(n).model, limb, m.data());
    return m;
  }
  static void ExpectMatrixNear(const std::vector<float>& a, const std::vector<float>& b) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[size_t(i)], b[size_t(i)], 1e-5f) << "element " << i;
  }
};

TEST_F(AnimationTest, SpeedsRangesAndEndsOfPlayback) {
  const struct {
    int32_t speed, command, a, b, frames;
    float frame;
    int32_t playing;
  } cases[] = {
      {100, 7608, 2, 0, 1, 6, 1},     // 4 frames a display frame
      {-100, 7608, 10, 0, 2, 2, 1},   // backwards
      {0, 7608, 5, 0, 3, 5, 1},       // holds
      {25, 7601, 0, 0, 10, 10, 1},    // the end frame itself still plays
      {25, 7601, 0, 0, 11, 10, 0},    // past it: stopped, reading the end
      {25, 7606, 2, 4, 5, 2, 1},      // looping 2..4 from frame 0: past 4 back to 2
      {-25, 7606, 2, 4, 1, 4, 1},     // backwards below the start: to the end
      {-100, 7609, 3, 8, 2, -5, 1},   // a play-once backwards runs down without end
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Run({ModelPath(), 1}, 7000), 0);
    ASSERT_EQ(Run({1, c.speed}, 7605), 0);
    const int32_t error = c.command == 7601   ? Run({1}, 7601)
                          : c.command == 7608 ? Run({1, c.a}, 7608)
                                              : Run({1, c.a, c.b}, c.command);
    ASSERT_EQ(error, 0);
    Frames(c.frames);
    EXPECT_EQ(Query(7653, 1).f, c.frame) << c.command << " at speed " << c.speed;
    EXPECT_EQ(Query(7651, 1).i, c.playing) << c.command << " at speed " << c.speed;
    EXPECT_EQ(Query(7654, 1).i, c.speed);
  }
  // Values set read back whole, also where the stored fraction falls short of them.
  ASSERT_EQ(Run({1, 53}, 7605), 0);
  ASSERT_EQ(Run({1, 59}, 7611), 0);
  EXPECT_EQ(Query(7654, 1).i, 53);
  EXPECT_EQ(Query(7655, 1).i, 59);
}

// Play once again, while it plays and once it has ended: from frame 0 each time.
TEST_F(AnimationTest, PlayingAgainRestartsFromFrameZero) {
  ASSERT_EQ(Run({1, 25}, 7605), 0);
  for (int frames : {4, 12}) {
    ASSERT_EQ(Run({1}, 7601), 0);
    Frames(frames);
    ASSERT_GT(Query(7653, 1).f, 0.0f);
    ASSERT_EQ(Run({1}, 7601), 0);
    EXPECT_EQ(Query(7653, 1).f, 0.0f) << "after " << frames;
    EXPECT_EQ(Query(7651, 1).i, 1);
    Frames(1);
    EXPECT_EQ(Query(7653, 1).f, 1.0f) << "after " << frames;
  }
}

TEST_F(AnimationTest, ErrorsAndAnObjectWithoutAnimation) {
  ASSERT_EQ(Run({2, 10.0f}, 7043), 0);  // a cube: no animation
  const std::string model = ModelPath();
  const struct {
    int command;
    std::vector<CallOperand> operands;
    int32_t error;
  } cases[] = {
      {7601, {2}, kErrObjectNoAnimation},       {7606, {2, 1, 2}, kErrObjectNoAnimation},
      {7604, {2, 1.0f}, kErrObjectNoAnimation}, {7601, {3}, kErrObjectMissing},
      {7604, {1, 10.5f}, kErrAnimationFrameOutOfRange},
      {7604, {1, -0.5f}, kErrAnimationFrameOutOfRange},
      {7605, {1, 101}, kErrAnimationSpeedOutOfRange}, {7611, {1, 0}, kErrInterpolationOutOfRange},
      {7607, {model, 1, 10}, kErrAppendFrameTooLow}, {7607, {model, 2, 1}, kErrAnimationNotAppended},
      {7607, {"missing.x", 1, 11}, kErrAnimationNotAppended},
      {7259, {"a.x", 0}, kErrObjectNumberOutOfRange}, {7259, {"a.x", 3}, kErrObjectMissing},
      {7260, {"a.x", "b.x", 3, 0}, kErrObjectMissing},
      {7262, {2, 5}, 0}, {7261, {2}, 0},  // nothing to delete, nothing reported
  };
  for (const auto& c : cases) {
    CommandCall call;
    for (size_t k = 0; k < c.operands.size(); ++k) {
      const CallOperand& o = c.operands[k];
      if (o.kind == 's') call.SetText(int(k), o.s);
      else if (o.kind == 'f') call.cells[k].f = o.f;
      else call.cells[k].i = o.i;
    }
    call.operandCount = int(c.operands.size());
    EXPECT_EQ(call.Run(c.command), c.error) << c.command;
  }
  EXPECT_EQ(Query(7653, 2).f, 0.0f);
  EXPECT_EQ(Query(7654, 2).i, 0);
}

TEST_F(AnimationTest, SetFrameBlendsThereUnlessLoopingThenJumps) {
  ASSERT_EQ(Run({1, 25}, 7611), 0);
  ASSERT_EQ(Run({1, 5.0f}, 7604), 0);
  EXPECT_EQ(Query(7653, 1).f, 0.0f);  // nothing shown has moved yet
  // Body's x: 0 at frame 0, 5 at frame 5; the blend shows a quarter more each frame, and the
  // frame read back is the one shown.
  for (const float x : {1.25f, 2.5f, 3.75f, 5.0f}) {
    Frames(1);
    EXPECT_NEAR(LimbLocal(1, 1)[12], x, 1e-5f);
    EXPECT_NEAR(Query(7653, 1).f, x, 1e-5f);
  }
  EXPECT_EQ(Object(1).interpolating, 0);
  EXPECT_EQ(Query(7653, 1).f, 5.0f);
  ASSERT_EQ(Run({1, 0}, 7605), 0);
  ASSERT_EQ(Run({1}, 7603), 0);
  ASSERT_EQ(Run({1, 7.0f}, 7604), 0);
  EXPECT_EQ(Query(7653, 1).f, 7.0f);
  EXPECT_EQ(Object(1).interpolating, 0);
}

// A clone shares the original's animation: its frames, and playing it moves them; it starts
// stopped at frame 0 though the original plays. Frames appended or deleted through either are
// the other's too.
TEST_F(AnimationTest, ACloneSharesItsOriginalsAnimation) {
  ASSERT_EQ(Run({1, 25}, 7605), 0);
  ASSERT_EQ(Run({1}, 7603), 0);
  Frames(3);
  ASSERT_EQ(Run({1, 2}, 7264), 0);
  EXPECT_EQ(Query(7656, 2).i, 10);
  EXPECT_EQ(Query(7651, 2).i, 0);
  EXPECT_EQ(Query(7653, 2).f, 0.0f);
  ASSERT_EQ(Run({2, 25}, 7605), 0);
  ASSERT_EQ(Run({2}, 7603), 0);
  Frames(3);
  EXPECT_EQ(Query(7653, 2).f, 3.0f);
  EXPECT_EQ(Query(7651, 2).i, 1);
  ASSERT_EQ(Run({2}, 7601), 0);  // once: stops on the last frame
  Frames(11);
  EXPECT_EQ(Query(7653, 2).f, 10.0f);
  EXPECT_EQ(Query(7651, 2).i, 0);
  ASSERT_EQ(Run({ModelPath(), 2, 11}, 7607), 0);
  EXPECT_EQ(Query(7656, 1).i, 21);
  Frames(10);
  EXPECT_GT(Query(7653, 1).f, 10.0f);  // the original, looping all of it, plays the new frames
  ASSERT_EQ(Run({2}, 7261), 0);
  EXPECT_EQ(Query(7656, 1).i, 0);
  EXPECT_EQ(Query(7651, 1).i, 0);
}

TEST_F(AnimationTest, RecordedPosesReplayAndKeysAreDeleted) {
  // Object 2: a cube with two added limbs and no animation (nor blend arrays).
  ASSERT_EQ(Run({2, 10.0f}, 7043), 0);
  const uint32_t mesh = AllocMeshData();
  BuildBoxMesh(mesh, 2, 2, 2);
  g_model.meshNumbers[1] = mesh;
  ASSERT_EQ(Run({2, 1, 1}, 7011), 0);
  ASSERT_EQ(Run({2, 2, 1}, 7011), 0);
  ASSERT_EQ(Run({2, 0}, 7262), 0);  // deleting key 0 without animation does nothing
  EXPECT_EQ(ObjectTracks(ObjectRecordOf(2)), nullptr);
  ASSERT_EQ(Run({2, 1, 1.0f, 2.0f, 3.0f}, 7013), 0);
  ASSERT_EQ(Run({2, 1, 0.0f, 90.0f, 0.0f}, 7014), 0);
  const std::vector<float> first = LimbLocal(2, 1);
  ASSERT_EQ(Run({2, 0}, 7263), 0);
  EXPECT_EQ(Query(7656, 2).i, 0);
  ASSERT_EQ(Run({2, 1, 9.0f, 0.0f, 1.0f}, 7013), 0);
  ASSERT_EQ(Run({2, 1, 30.0f, 0.0f, 45.0f}, 7014), 0);
  const std::vector<float> second = LimbLocal(2, 1);
  ASSERT_EQ(Run({2, 20}, 7263), 0);
  EXPECT_EQ(Query(7656, 2).i, 20);
  ASSERT_EQ(Run({2, 100}, 7611), 0);
  ASSERT_EQ(Run({2, 0.0f}, 7604), 0);
  Frames(1);
  ExpectMatrixNear(LimbLocal(2, 1), first);
  ASSERT_EQ(Run({2, 20.0f}, 7604), 0);
  Frames(1);
  ExpectMatrixNear(LimbLocal(2, 1), second);
  ASSERT_EQ(Run({2, 10.0f}, 7604), 0);
  Frames(1);
  EXPECT_NEAR(LimbLocal(2, 1)[12], 5.0f, 1e-5f);
  // A key below frame 1 that no track has goes in front; deleting key 0 does nothing, and
  // deleting 20 leaves lists of one key alone.
  AnimTrack* t = ObjectTracks(ObjectRecordOf(2));
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(Run({2, -3}, 7263), 0);
  EXPECT_EQ(TrackGetRotKeyCount(*t), 3u);
  EXPECT_EQ(t->rotationKeys[0], -3.0f);
  EXPECT_EQ(Query(7656, 2).i, 20);
  ASSERT_EQ(Run({2, 0}, 7262), 0);
  EXPECT_EQ(TrackGetRotKeyCount(*t), 3u);
  ASSERT_EQ(Run({2, 20}, 7262), 0);
  ASSERT_EQ(Run({2, -3}, 7262), 0);
  ASSERT_EQ(Run({2, 0}, 7262), 0);
  EXPECT_EQ(TrackGetRotKeyCount(*t), 1u);
  EXPECT_EQ(TrackGetVecKeyCountB(*t), 1u);
  ASSERT_EQ(Run({2}, 7261), 0);
  EXPECT_EQ(ObjectTracks(ObjectRecordOf(2)), nullptr);
  EXPECT_EQ(Query(7656, 2).i, 0);
  EXPECT_EQ(g_scene.playList, nullptr);
}

TEST_F(AnimationTest, AnimationDeletedThroughACloneLeavesTheSourcePosingNothing) {
  ASSERT_EQ(Run({1, 2}, 7264), 0);  // the clone shares the model and its tracks
  ASSERT_EQ(Run({1, 5.0f}, 7604), 0);  // object 1 on the play list, not playing
  const std::vector<float> before = LimbLocal(1, 1);
  ASSERT_EQ(Run({2}, 7261), 0);
  EXPECT_EQ(ObjectTracks(ObjectRecordOf(1)), nullptr);
  Frames(2);
  ExpectMatrixNear(LimbLocal(1, 1), before);
}

TEST_F(AnimationTest, AppendSaveAndMergeExtendTheTracks) {
  const std::string saved = FsTempFolder() + "/animation_test_saved.x";
  ASSERT_EQ(Run({ModelPath(), 1, 11}, 7607), 0);
  EXPECT_EQ(Query(7656, 1).i, 21);
  ASSERT_EQ(Run({saved, 1}, 7259), 0);
  // Saved and read back into tracks without keys: the same keys.
  ModelHandle h;
  ASSERT_EQ(LoadModelXFile(h, ModelPath(), nullptr), kModelOk);
  for (AnimTrack* t = AnimSetGetTrackList(*h.animation); t; t = TrackNext(*t))
    TrackSetRotKeys(*t, {}), TrackSetVecKeysA(*t, {}), TrackSetVecKeysB(*t, {});
  ASSERT_EQ(MergeAnimationXFile(h, ModelPath(), saved, 0, 0), kModelOk);
  const std::string keys = fxmodel::DumpTracks(ObjectTracks(ObjectRecordOf(1)));
  EXPECT_EQ(fxmodel::DumpTracks(AnimSetGetTrackList(*h.animation)), keys);
  // Merged after the end: every track continues; frame 21 + 5 poses as frame 5 did.
  ASSERT_EQ(Run({ModelPath(), saved, 1, 21}, 7260), 0);
  EXPECT_EQ(Query(7656, 1).i, 42);
  ASSERT_EQ(Run({1, 5.0f}, 7604), 0);
  Frames(1);
  const std::vector<float> atFive = LimbLocal(1, 2);
  ASSERT_EQ(Run({1, 26.0f}, 7604), 0);
  Frames(1);
  ExpectMatrixNear(LimbLocal(1, 2), atFive);
  std::filesystem::remove(saved);
}

// A program plays the model and prints the frame, Body's x and Arm's world position, which
// Body's turn (a = 9 degrees a frame about z) and move (x = frame) place at
// (x + y sin a, y cos a) with Arm's y = 1 + 0.2 x frame.
TEST(AnimationProgram, FramesAndLimbPositionsFollowTheKeys) {
  ASSERT_TRUE(FsWriteFileAtomic(ModelPath(), kTwoLimbModel));
  const std::string source =
      "sync on\n"
      "load object \"" + ModelPath() + "\", 1\n"
      "set object speed 1, 25\n"
      "play object 1\n"
      "for i = 1 to 4\n"
      "  sync\n"
      "  print object frame(1); \" \"; limb position x(1, 1); \" \"; limb position x(1, 2); \" \"; "
      "limb position y(1, 2)\n"
      "next i\n"
      "sync\n";  // text printed after the last frame is not in the transcript
  RunOutcome r = RunVkaSource(source, 100);
  std::filesystem::remove(ModelPath());
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.transcript);
  for (int frame = 1; frame <= 4; ++frame) {
    float f = -1, bodyX = -1, armX = -1, armY = -1;
    lines >> f >> bodyX >> armX >> armY;
    ASSERT_FALSE(lines.fail()) << r.transcript;
    const double a = frame * 9.0 * 3.14159265358979 / 180.0, y = 1 + 0.2 * frame;
    EXPECT_EQ(f, float(frame));
    EXPECT_NEAR(bodyX, frame, 1e-3);
    EXPECT_NEAR(armX, frame + y * std::sin(a), 1e-3) << r.transcript;
    EXPECT_NEAR(armY, y * std::cos(a), 1e-3) << r.transcript;
  }
}

}  // namespace
