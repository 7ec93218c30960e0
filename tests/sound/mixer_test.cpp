// The mixer against a slow reference: a plain loop over frames that applies the mixing rules one
// output frame at a time. The engine mixes on the manual clock; its output must match exactly.
#include <algorithm>
#include <functional>

#include "sound/engine/mixer/mixer.h"
#include "tests/sound/sound_fixture.h"

namespace {

// One voice of the reference: source frames (left, right at 16-bit scale), its loop, and the
// channel's state. Positions are 32.16 fixed point.
struct RefVoice {
  std::vector<int32_t> left, right;
  uint32_t loopStart = 0, loopLength = 0;
  int loopMode = kSoundLoopOff;
  int64_t pos = 0, step = 0;
  int dir = 1;
  int32_t volume = 255, pan = 128;
  bool mute = false, surround = false, ended = false;
  int32_t curL = 0, curR = 0, incL = 0, incR = 0, left_ = 0, tgtL = 0, tgtR = 0;
};

struct Reference {
  int32_t rate = 44100;
  int32_t rampLength = 128;
  std::vector<RefVoice> voices;

  static int64_t Step(int32_t hz, int32_t rate) {
    hz = std::clamp(hz, 100, 705600);
    int64_t whole = hz / rate;
    int64_t frac = int64_t((uint64_t(hz % rate) << 32) / uint64_t(rate)) >> 16;
    return (whole << 16) | frac;
  }

  // The frame the interpolation reads after the loop end holds the loop padding.
  static void Frame(const RefVoice& v, int64_t i, int32_t* l, int32_t* r) {
    uint64_t pad = uint64_t(v.loopStart) + v.loopLength;
    if (uint64_t(i) == pad) {
      if (v.loopMode == kSoundLoopNormal) i = v.loopStart;
      else if (v.loopMode == kSoundLoopBidi) i = int64_t(pad) - 1;
      else if (pad >= v.left.size()) { *l = *r = 0; return; }
    }
    *l = v.left[size_t(i)];
    *r = v.right[size_t(i)];
  }

  // False when a one-shot voice has ended.
  static bool Boundary(RefVoice& v) {
    int64_t s = int64_t(v.loopStart) << 16, e = s + (int64_t(v.loopLength) << 16);
    if (v.loopMode == kSoundLoopBidi) {
      for (;;) {
        if (v.pos >= e) { v.pos = 2 * e - 1 - v.pos; v.dir = -1; }
        else if (v.dir < 0 && v.pos < s) { v.pos = 2 * s - 1 - v.pos; v.dir = 1; }
        else return true;
      }
    }
    v.dir = 1;
    while (v.pos >= e) {
      if (v.loopMode != kSoundLoopNormal) return false;
      v.pos -= int64_t(v.loopLength) << 16;
    }
    return true;
  }

  void Targets(const RefVoice& v, int32_t* l, int32_t* r) const {
    int32_t right = v.pan == -1 ? v.volume : v.volume * v.pan / 255;
    int32_t left = v.pan == -1 ? v.volume : v.volume * (255 - v.pan) / 255;
    if (v.mute) { *l = *r = 0; }
    else if (v.surround) { *l = v.volume / 2; *r = -(v.volume / 2); }
    else { *l = left; *r = right; }
  }

  static int16_t Add(int16_t a, int64_t b) {
    return int16_t(std::clamp<int64_t>(a + b, -32768, 32767));
  }

  std::vector<int16_t> Block(int32_t frames) {
    std::vector<int16_t> out(size_t(frames) * 2, 0);
    for (RefVoice& v : voices) {
      if (v.ended || !Boundary(v)) { v.ended = true; continue; }
      for (int32_t k = 0; k < frames; k++) {
        int32_t tl, tr;
        Targets(v, &tl, &tr);
        bool steady = v.left_ == 0 && v.curL == tl * 256 && v.curR == tr * 256;
        if (!steady && (v.left_ == 0 || tl != v.tgtL || tr != v.tgtR)) {
          v.tgtL = tl; v.tgtR = tr;
          v.incL = (tl * 256 - v.curL) / rampLength;
          v.incR = (tr * 256 - v.curR) / rampLength;
          v.left_ = rampLength;
        }
        int32_t gl = v.curL, gr = v.curR;
        if (v.left_ > 0) {
          v.curL += v.incL; v.curR += v.incR;
          if (--v.left_ == 0) { v.curL = v.tgtL * 256; v.curR = v.tgtR * 256; }
        }
        int64_t i = v.pos >> 16;
        int32_t f = int32_t(v.pos & 0xFFFF);
        int32_t l0, r0, l1, r1;
        Frame(v, i, &l0, &r0);
        Frame(v, i + 1, &l1, &r1);
        int32_t a = (65535 - f) >> 1, b = f >> 1;
        int64_t l = (int64_t(l0) * a + int64_t(l1) * b) >> 15;
        int64_t r = (int64_t(r0) * a + int64_t(r1) * b) >> 15;
        out[2 * size_t(k)] = Add(out[2 * size_t(k)], (l * gl) >> 16);
        out[2 * size_t(k) + 1] = Add(out[2 * size_t(k) + 1], (r * gr) >> 16);
        v.pos += v.dir * v.step;
        if (!Boundary(v)) { v.ended = true; break; }
      }
    }
    return out;
  }
};

std::vector<int16_t> Noise(size_t n, uint32_t seed, int32_t scale = 32767) {
  std::vector<int16_t> v(n);
  for (auto& x : v) {
    seed = seed * 1664525u + 1013904223u;
    x = int16_t(int32_t(seed >> 16) % (scale + 1) * ((seed & 1) ? 1 : -1));
  }
  return v;
}

class MixerTest : public SoundTest {
 protected:
  Reference ref;

  // Plays a 16-bit (or 8-bit) sample of the data and adds its voice to the reference.
  int32_t Play(const std::vector<int16_t>& data, bool stereo, int loopMode, int32_t hz,
               int32_t pan = 128, int32_t loopStart = -1, int32_t loopEnd = -1, bool eightBit = false) {
    uint32_t frames = uint32_t(data.size() / (stereo ? 2 : 1));
    uint32_t mode = (eightBit ? kSound8Bits : kSound16Bits) | (stereo ? kSoundStereo : kSoundMono) |
                    kSound2D | uint32_t(loopMode);
    SoundSample* s = SoundSampleAlloc(kSoundFreeSample, int32_t(frames), mode, hz, 255, pan, 255);
    EXPECT_NE(s, nullptr);
    RefVoice v;
    if (eightBit) {
      std::vector<int8_t> bytes(data.size());
      for (size_t i = 0; i < data.size(); i++) bytes[i] = int8_t(data[i] >> 8);
      SoundSampleUpload(s, bytes.data(), mode);
      for (size_t i = 0; i < frames; i++) {
        v.left.push_back(bytes[stereo ? 2 * i : i] * 256);
        v.right.push_back(bytes[stereo ? 2 * i + 1 : i] * 256);
      }
    } else {
      SoundSampleUpload(s, data.data(), mode);
      for (size_t i = 0; i < frames; i++) {
        v.left.push_back(data[stereo ? 2 * i : i]);
        v.right.push_back(data[stereo ? 2 * i + 1 : i]);
      }
    }
    if (loopStart >= 0) SoundSampleSetLoopPoints(s, loopStart, loopEnd);
    v.loopStart = loopStart >= 0 ? uint32_t(loopStart) : 0;
    v.loopLength = loopStart >= 0 ? uint32_t(loopEnd - loopStart + 1) : frames;
    v.loopMode = loopMode;
    v.step = Reference::Step(hz, ref.rate);
    v.pan = pan;
    ref.voices.push_back(v);
    return SoundPlay(kSoundFreeChannel, s);
  }

  // Advances block by block, changing things between blocks, and compares every mixed block.
  void Compare(int blocks, const std::function<void(int)>& between = nullptr) {
    const int32_t b = DspGetBufferLength();
    const uint32_t latency = ManualDriverLatency();  // the first ring played is silence
    ManualDriverClearOutput();
    std::vector<std::vector<int16_t>> wanted;
    for (int k = 0; k < blocks; k++) {
      if (between) between(k);
      wanted.push_back(ref.Block(b));
      ManualDriverAdvance(uint32_t(b));  // mixes block k
    }
    for (uint32_t k = 0; k < latency / uint32_t(b); k++) ManualDriverAdvance(uint32_t(b));
    const std::vector<int16_t>& out = ManualDriverOutput();
    ASSERT_EQ(out.size(), size_t(blocks + int(latency) / b) * 2 * size_t(b));
    for (int k = 0; k < blocks; k++) {
      const std::vector<int16_t>& want = wanted[size_t(k)];
      auto at = out.begin() + std::ptrdiff_t(latency) * 2 + std::ptrdiff_t(k) * 2 * b;
      std::vector<int16_t> got(at, at + 2 * b);
      for (size_t i = 0; i < want.size(); i++) {
        ASSERT_EQ(got[i], want[i]) << "block " << k << " frame " << i / 2 << (i % 2 ? " right" : " left");
      }
    }
  }
};

}  // namespace

TEST_F(MixerTest, BlockAndRingSizes) {
  EXPECT_EQ(MixerBlockLength(44100), 1104);
  EXPECT_EQ(MixerBlockLength(22050), 552);
  EXPECT_EQ(MixerBlockLength(11025), 276);
  EXPECT_EQ(MixerRingLength(44100, 100), 4416);
  EXPECT_EQ(MixerRingLength(44100, 30), 2208);  // never fewer than two blocks
}

TEST_F(MixerTest, OneShotEndsMidBlockAndLeavesTheRestToOthers) {
  StartManual();
  Play(Noise(500, 1), false, kSoundLoopOff, 44100);
  int32_t h = Play(Noise(3000, 2), false, kSoundLoopOff, 30000, 40);
  Compare(3);
  EXPECT_FALSE(SoundIsChannelPlaying(1));
  EXPECT_FALSE(SoundIsChannelPlaying(h));
}

TEST_F(MixerTest, LoopsInsideABlockCoverEveryFrame) {
  StartManual();
  Play(Noise(37, 3), false, kSoundLoopNormal, 57321);
  Play(Noise(400, 4), false, kSoundLoopNormal, 44100, 200, 100, 160);
  Play(Noise(90, 5), true, kSoundLoopNormal, 11111, -1);
  Compare(4);
}

TEST_F(MixerTest, BidirectionalLoopsMirrorAtBothEnds) {
  StartManual();
  Play(Noise(300, 6), false, kSoundLoopBidi, 37000, 128, 100, 199);
  Play(Noise(64, 7), true, kSoundLoopBidi, 150000, 30);
  Play(Noise(5, 8), false, kSoundLoopBidi, 705600);
  // Steps either side of the widest that the vector loop reads through a window of frames.
  Play(Noise(333, 31), false, kSoundLoopBidi, 88200, 90);
  Play(Noise(334, 32), false, kSoundLoopBidi, 88300, 170);
  Compare(4);
}

TEST_F(MixerTest, EightBitDataEntersAtSixteenBitScale) {
  StartManual();
  Play(Noise(700, 9), false, kSoundLoopNormal, 48000, 128, -1, -1, true);
  Play(Noise(700, 10), true, kSoundLoopOff, 20000, 250, -1, -1, true);
  Compare(3);
}

TEST_F(MixerTest, RampsFollowEveryGainChange) {
  StartManual();
  int32_t h = Play(Noise(2000, 11), false, kSoundLoopNormal, 44100);
  Play(Noise(2000, 12), false, kSoundLoopNormal, 32000, 60);
  Compare(6, [&](int k) {
    RefVoice& v = ref.voices[0];
    if (k == 2) { SoundSetChannelVolume(h, 90); v.volume = 90; }
    if (k == 3) { SoundSetChannelMute(h, true); v.mute = true; }
    if (k == 4) { SoundSetChannelMute(h, false); v.mute = false; SoundSetChannelSurround(h, true); v.surround = true; }
    if (k == 5) { SoundSetChannelPan(h, 0); v.pan = 0; }
  });
}

TEST_F(MixerTest, NarrowerLoopsGiveTheSameResults) {
  for (int bits : {0, 128}) {
    SCOPED_TRACE(bits);
    SoundEngineReset();
    ref = Reference{};
    MixSetVectorLoops(bits);
    StartManual();
    int32_t h = Play(Noise(900, 21), false, kSoundLoopBidi, 51234, 77);
    Play(Noise(300, 22), false, kSoundLoopNormal, 33333, -1);
    Play(Noise(333, 31), false, kSoundLoopBidi, 88200, 90);  // two frames a frame
    Compare(3, [&](int k) {
      if (k == 1) { SoundSetChannelVolume(h, 30); ref.voices[0].volume = 30; }
    });
    MixSetVectorLoops(256);
  }
}

TEST_F(MixerTest, RampLengthFollowsTheRate) {
  for (int32_t rate : {44100, 22050}) {
    SoundEngineReset();
    StartManual(rate);
    ref = Reference{};
    ref.rate = rate;
    ref.rampLength = rate * 128 / 44100;
    EXPECT_EQ(g_mixer.rampLength, rate == 44100 ? 128 : 64);
    Play(std::vector<int16_t>(4000, 32767), false, kSoundLoopNormal, rate, -1);
    Compare(2);
    // Full gain is reached exactly at the ramp's end.
    const std::vector<int16_t>& out = ManualDriverOutput();
    size_t first = ManualDriverLatency() * 2;
    EXPECT_LT(out[first + 2 * size_t(ref.rampLength - 1)], out[first + 2 * size_t(ref.rampLength)]);
    EXPECT_EQ(out[first + 2 * size_t(ref.rampLength)], out[first + 2 * size_t(ref.rampLength) + 2]);
  }
}

TEST_F(MixerTest, TwoFullScaleChannelsInPhaseClip) {
  StartManual();
  Play(std::vector<int16_t>(3000, 32767), false, kSoundLoopNormal, 44100, -1);
  Play(std::vector<int16_t>(3000, 32767), false, kSoundLoopNormal, 44100, -1);
  Compare(2);
  EXPECT_EQ(ManualDriverOutput()[ManualDriverLatency() * 2 + 2 * 1104 - 1], 32767);
}

TEST_F(MixerTest, FrequenciesAreClamped) {
  StartManual();
  int32_t low = Play(Noise(100, 13), false, kSoundLoopNormal, 50);
  int32_t high = Play(Noise(100, 14), false, kSoundLoopNormal, 800000);
  SoundChannel* a = GetChannelRecord(low);
  SoundChannel* b = GetChannelRecord(high);
  EXPECT_EQ(a->step, 0);
  EXPECT_EQ(a->stepFrac, uint32_t(((uint64_t(100) << 32) / 44100)) & 0xFFFF0000u);
  EXPECT_EQ(b->step, 16);
  Compare(2);
}

TEST_F(MixerTest, StartOffsetBeyondTheLoopPlaysFromZero) {
  StartManual();
  SoundSample* s = MonoSample(Noise(100, 15), kSoundLoopNormal);
  g_sound.channels[0].startOffset = 150;
  ASSERT_NE(SoundPlay(0, s), -1);
  EXPECT_EQ(SoundGetChannelPosition(0), 0);
}

TEST_F(MixerTest, PanMinusOneGivesBothSidesTheVolume) {
  StartManual();
  SoundSample* s = MonoSample(Noise(100, 16), kSoundLoopNormal, -1);
  int32_t h = SoundPlay(kSoundFreeChannel, s);
  SoundChannel* c = GetChannelRecord(h);
  EXPECT_EQ(c->leftGain, 255);
  EXPECT_EQ(c->rightGain, 255);
}

// ---- the DSP chain ----

namespace {
std::vector<int>* g_order;
void* Mark(void*, void* input, int32_t, void* user) {
  g_order->push_back(int(reinterpret_cast<intptr_t>(user)));
  return input;
}
void* Replace(void*, void*, int32_t length, void* user) {
  int16_t* own = static_cast<int16_t*>(user);
  std::fill(own, own + 2 * length, int16_t(1234));
  return own;
}
}  // namespace

TEST_F(MixerTest, DspUnitsRunByPriorityThenPlacingOrder) {
  StartManual();
  std::vector<int> order;
  g_order = &order;
  SoundDspUnit* a = DspCreateUnit(Mark, 150, reinterpret_cast<void*>(1));
  SoundDspUnit* b = DspCreateUnit(Mark, 150, reinterpret_cast<void*>(2));
  SoundDspUnit* c = DspCreateUnit(Mark, -5, reinterpret_cast<void*>(3));
  SoundDspUnit* off = DspCreateUnit(Mark, 500, reinterpret_cast<void*>(4));
  EXPECT_EQ(DspGetPriority(c), 0);
  for (SoundDspUnit* u : {a, b, c}) DspSetActive(u, true);
  // After the clear unit (placed first at 0), before the stream unit at 200.
  std::vector<SoundDspUnit*> chain;
  for (SoundDspUnit* u = g_mixer.chain.next; u != &g_mixer.chain; u = u->next) chain.push_back(u);
  ASSERT_EQ(chain.size(), 9u);  // with the streams' time unit at 299
  EXPECT_EQ(chain[0], DspGetClearUnit());
  EXPECT_EQ(chain[1], c);
  EXPECT_EQ(chain[2], DspGetChannelMixUnit());
  EXPECT_EQ(chain[3], a);
  EXPECT_EQ(chain[4], b);
  EXPECT_EQ(chain[5], DspGetStreamUnit());
  EXPECT_EQ(DspGetPriority(chain[6]), 299);
  EXPECT_EQ(chain[7], off);
  EXPECT_EQ(chain[8], DspGetWriteOutUnit());
  ManualDriverAdvance(uint32_t(DspGetBufferLength()));
  EXPECT_EQ(order, (std::vector<int>{3, 1, 2}));
  // A unit that returns its own buffer replaces what the write-out converts.
  std::vector<int16_t> own(2 * size_t(DspGetBufferLength()));
  SoundDspUnit* r = DspCreateUnit(Replace, 900, own.data());
  DspSetActive(r, true);
  for (int k = 0; k < 5; k++) ManualDriverAdvance(uint32_t(DspGetBufferLength()));
  EXPECT_EQ(ManualDriverOutput().back(), 1234);
  DspFreeUnit(r);
  DspFreeUnit(nullptr);
  EXPECT_EQ(DspGetPriority(nullptr), -1);
  EXPECT_FALSE(DspGetActive(nullptr));
}

TEST_F(MixerTest, MixBuffersMixesCallerData) {
  EXPECT_FALSE(SoundDspMixBuffers(nullptr, nullptr, 4, 44100, 255, 128, kSound16Bits));
  EXPECT_EQ(SoundGetError(), kSoundErrUninitialised);
  StartManual();
  std::vector<int16_t> src = {1000, 2000, 3000, 4000};
  std::vector<int16_t> dst(8, 10);
  EXPECT_TRUE(SoundDspMixBuffers(dst.data(), src.data(), 4, 44100, 255, -1, kSound16Bits | kSoundMono));
  // Step 1, no fraction: each value x 32767 / 32768 x 255 / 256, added to 10.
  EXPECT_EQ(dst[0], 10 + ((((1000 * 32767) >> 15) * 255 * 256) >> 16));
  EXPECT_EQ(dst[7], 10 + ((((4000 * 32767) >> 15) * 255 * 256) >> 16));
  EXPECT_TRUE(SoundDspMixBuffers(dst.data(), src.data(), 4, 44100, 255, -1, kSoundLoopNormal));
  EXPECT_FALSE(SoundDspMixBuffers(dst.data(), src.data(), 0, 44100, 255, -1, kSound16Bits));
}
