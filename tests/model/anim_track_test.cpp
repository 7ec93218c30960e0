// Animation tracks: chains, derived counts and offsets, key lookup and the limb matrix.
#include <gtest/gtest.h>

#include <cmath>

#include "model/anim_keys.h"
#include "model/anim_track.h"

namespace {

TEST(AnimTrack, ChainsCountsAndOffsets) {
  AnimSet set;
  EXPECT_EQ(AnimSetGetTrackList(set), nullptr);
  for (int i = 0; i < 3; ++i) AnimSetAppendTrack(set, std::make_unique<AnimTrack>());
  AnimTrack* t = AnimSetGetTrackList(set);
  EXPECT_EQ(t->name, "");
  EXPECT_EQ(TrackGetLimb(*t), 0);
  ASSERT_NE(TrackNext(*TrackNext(*t)), nullptr);
  EXPECT_EQ(TrackNext(*TrackNext(*TrackNext(*t))), nullptr);
  TrackSetName(*t, std::string(100, 'n'));
  EXPECT_EQ(t->name.size(), kTrackNameMax);
  TrackSetRotKeys(*t, std::vector<float>(5, 0.0f));
  EXPECT_EQ(TrackGetLastRotOffset(*t), 0u);
  TrackSetRotKeys(*t, std::vector<float>(17, 0.0f));  // three keys and a partial one
  EXPECT_EQ(TrackGetRotKeyCount(*t), 3u);
  EXPECT_EQ(TrackGetLastRotOffset(*t), 10u);
  TrackSetVecKeysB(*t, {0, 1, 2, 3, 5, 1, 2, 3});
  EXPECT_EQ(TrackGetVecKeyCountB(*t), 2u);
  EXPECT_EQ(TrackGetLastPositionOffset(*t), 4u);
  EXPECT_EQ(TrackGetLastScaleOffset(*t), 0u);
  // A very long chain is freed without deep recursion.
  AnimSet big;
  AnimTrack* last = nullptr;
  for (int i = 0; i < 200000; ++i) {
    auto n = std::make_unique<AnimTrack>();
    AnimTrack* raw = n.get();
    if (last) last->next = std::move(n);
    else big.firstTrack = std::move(n);
    last = raw;
  }
}

TEST(AnimTrack, VectorKeysBlendLinearlyAndHoldAtTheEnds) {
  const std::vector<float> keys = {10, 0, 0, 0, 20, 10, 20, -10, 40, 0, 0, 0};
  struct Case {
    float frame, x, y;
  } cases[] = {
      {0, 0, 0}, {10, 0, 0}, {10.5f, 0.5f, 1}, {15, 5, 10}, {17.5f, 7.5f, 15}, {20, 10, 20}, {30, 5, 10}, {40, 0, 0}, {99, 0, 0},
      {-1, 0, 0},  // a negative frame lies beyond every key: the last
  };
  for (const Case& c : cases) {
    float v[3] = {-7, -7, -7};
    ASSERT_TRUE(VectorKeyAt(keys, c.frame, v));
    EXPECT_NEAR(v[0], c.x, 1e-5f) << c.frame;
    EXPECT_NEAR(v[1], c.y, 1e-5f) << c.frame;
  }
  // Spans of different slopes: a frame just past a middle key blends along the span it opens.
  float v[3];
  ASSERT_TRUE(VectorKeyAt({0, 0, 0, 0, 10, 10, 0, 0, 20, 30, 0, 0}, 10.5f, v));
  EXPECT_NEAR(v[0], 11, 1e-5f);
  // Spans are found on whole times: 5.9 counts as 5 (frame 5 opens the span after it), and a
  // time in (-1, 0) as 0.
  ASSERT_TRUE(VectorKeyAt({0, 0, 0, 0, 5.9f, 10, 0, 0, 20, 20, 0, 0}, 5.0f, v));
  EXPECT_NEAR(v[0], 10 + 10 * (5.0f - 5.9f) / 14.1f, 1e-4f);
  ASSERT_TRUE(VectorKeyAt({-0.5f, 0, 0, 0, 10, 10, 0, 0}, 5.0f, v));
  EXPECT_NEAR(v[0], 10 * 5.5f / 10.5f, 1e-4f);
  float untouched[3] = {3, 3, 3};
  EXPECT_FALSE(VectorKeyAt({}, 5, untouched));
  EXPECT_EQ(untouched[0], 3);
}

TEST(AnimTrack, RotationKeysSlerpAndTheNearestEndKeyOutsideThem) {
  AnimTrack t;
  EXPECT_EQ(RotationKeyAt(t, 3).w, 1.0f);
  const float z[3] = {0, 0, 1};
  const Quaternion a = QuaternionFromRotation(z, 0.0f), b = QuaternionFromRotation(z, 2.0f);
  TrackSetRotKeys(t, {5, a.w, a.x, a.y, a.z, 15, b.w, b.x, b.y, b.z});
  const Quaternion mid = RotationKeyAt(t, 10), expect = QuaternionFromRotation(z, 1.0f);
  EXPECT_NEAR(mid.w, expect.w, 1e-6f);
  EXPECT_NEAR(mid.z, expect.z, 1e-6f);
  // A fraction of a frame past the first key already blends from it.
  const Quaternion early = RotationKeyAt(t, 5.5f), tenth = QuaternionFromRotation(z, 0.1f);
  EXPECT_NEAR(early.w, tenth.w, 1e-6f);
  EXPECT_NEAR(early.z, tenth.z, 1e-6f);
  EXPECT_NEAR(RotationKeyAt(t, 0).z, a.z, 1e-6f);  // before the first key: the first
  EXPECT_NEAR(RotationKeyAt(t, 20).z, b.z, 1e-6f);
  EXPECT_NEAR(RotationKeyAt(t, -1).z, b.z, 1e-6f);  // a negative frame lies beyond every key
}

// A key and its negation are the same turn: the blend between keys of opposite sign takes the
// short way (a tenth of a radian here), not the long way round.
TEST(AnimTrack, RotationBlendTakesTheShortWay) {
  AnimTrack t;
  const float z[3] = {0, 0, 1};
  const Quaternion a = QuaternionFromRotation(z, 0.0f), b = QuaternionFromRotation(z, 0.2f);
  TrackSetRotKeys(t, {0, a.w, a.x, a.y, a.z, 10, -b.w, -b.x, -b.y, -b.z});
  const Quaternion mid = RotationKeyAt(t, 5), want = QuaternionFromRotation(z, 0.1f);
  EXPECT_NEAR(std::fabs(mid.w), want.w, 1e-5f);
  EXPECT_NEAR(std::fabs(mid.z), want.z, 1e-5f);
}

// Deleting the keys at a frame leaves a list of one key alone: the track still poses its limb.
TEST(AnimTrack, DeletingTheOnlyKeyLeavesTheTrackUsable) {
  AnimTrack t;
  TrackSetRotKeys(t, {5, 1, 0, 0, 0});
  TrackSetVecKeysB(t, {5, 3, 4, 5});
  DeleteTrackKeysAt(t, 5);
  EXPECT_EQ(TrackGetRotKeyCount(t), 1u);
  EXPECT_EQ(TrackGetVecKeyCountB(t), 1u);
  float m[16];
  TrackMatrixAt(t, 5, m);
  EXPECT_EQ(m[12], 3.0f);
  EXPECT_EQ(m[14], 5.0f);
  EXPECT_EQ(LastAnimationKeyFrame(&t), 5.0f);
}

TEST(AnimTrack, LimbMatrixScalesTurnsThenMoves) {
  AnimTrack t;
  const float z[3] = {0, 0, 1};
  const Quaternion q = QuaternionFromRotation(z, 1.5707964f);
  TrackSetRotKeys(t, {0, q.w, q.x, q.y, q.z});
  TrackSetVecKeysA(t, {0, 2, 2, 2});
  TrackSetVecKeysB(t, {0, 10, 0, 0});
  float m[16], rot[16], p[3];
  TrackMatrixAt(t, 0, m);
  MatrixFromQuaternion(rot, q);
  const float one[3] = {1, 0, 0};
  float turned[3];
  TransformPointProjected(turned, one, rot);
  TransformPointProjected(p, one, m);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], 2 * turned[i] + (i == 0 ? 10 : 0), 1e-5f);
  // No keys at all: the identity.
  AnimTrack none;
  TrackMatrixAt(none, 4, m);
  float id[16];
  SetMatrixIdentity(id);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], id[i]);
}

}  // namespace
