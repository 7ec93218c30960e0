#pragma once
// The sound engine's records and its one global state, for the engine's own files (mixer,
// drivers, files, streams). The public interface is sound_engine.h.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sound/engine/sound_engine.h"

struct SoundOutputDriver;

// The five storage operations of a sample.
// Bytes after a software sample's data that may always be read: the loop padding frame, and
// room for the mixer's vector loads.
constexpr int64_t kSampleSpareBytes = 16;

struct SoundSampleOps {
  bool (*alloc)(SoundSample* s);
  void (*free)(SoundSample* s);
  bool (*upload)(SoundSample* s, const void* data, uint32_t sourceBytes, uint32_t mode);
  bool (*lock)(SoundSample* s, int64_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
               uint32_t* l2);
  bool (*unlock)(SoundSample* s, void* p1, void* p2, uint32_t l1, uint32_t l2);
};

struct SoundSample {
  std::string name;          // at most 255 characters
  int32_t index = kSoundUnlisted;
  uint8_t* data = nullptr;   // software data: byte size + kSampleSpareBytes
  uint32_t length = 0;       // frames
  uint32_t loopStart = 0;
  uint32_t loopLength = 0;
  bool hasSavedPad = false;  // the frame loop padding overwrote, and its value
  uint32_t savedPad = 0;
  int32_t defaultFrequency = 44100;
  int32_t defaultVolume = 255;
  int32_t defaultPan = 128;
  int32_t defaultPriority = 255;
  uint8_t bits = 8;
  uint8_t loopMode = kSoundLoopOff;
  uint8_t layout = kSoundMono;
  bool songOwned = false;
  bool usedBySong = false;
  bool usedByStream = false;
  float minDistance = 1.0f;
  float maxDistance = 1000000000.0f;
  void* codecHandle = nullptr;  // decoder state while loading
  bool softwareOnly = false;
  bool hardware3D = false;
  void* driverBuffer = nullptr; // non-null: the sample lives in a driver voice buffer
  bool playOwnBuffer = false;
  const SoundSampleOps* ops = nullptr;
  void* driverData = nullptr;
};

// Intrusive list link of channels (mixer lists); a head is a bare link.
struct ChannelLink {
  ChannelLink* next = this;
  ChannelLink* prev = this;
};

struct SoundChannelOps {
  bool (*prepare)(SoundChannel* c, SoundSample* s);
  bool (*start)(SoundDspUnit* unit, SoundChannel* c, SoundSample* s);
  bool (*stop)(SoundChannel* c);
  bool (*setFrequency)(SoundChannel* c, int32_t hz);
  bool (*setVolume)(SoundChannel* c, int32_t volume);
  bool (*setPan)(SoundChannel* c, int32_t pan);
  bool (*setPaused)(SoundChannel* c, bool paused);
  int64_t (*getPlayPosition)(SoundChannel* c);
  float (*getLevel)(SoundChannel* c);
  bool (*isPlaying)(SoundChannel* c);
  bool (*set3DAttributes)(SoundChannel* c, const float* position, const float* velocity);
  bool (*get3DAttributes)(SoundChannel* c, float* position, float* velocity);
  bool (*setReverbMix)(SoundChannel* c, float mix);
};

struct SoundChannel : ChannelLink {
  int32_t index = 0;
  uint32_t handle = 0;
  int32_t serial = 1;
  int32_t volume = 255;      // as set, before the master volume
  int32_t frequency = 44100;
  int32_t pan = 128;         // after pan separation
  bool mute = false;
  bool surround = false;
  int32_t priority = 0;
  bool reserved = false;
  bool paused = false;
  float position[3] = {0, 0, 0};
  float velocity[3] = {0, 0, 0};
  SoundSample* sample = nullptr;
  uint8_t loopMode = kSoundLoopOff;
  bool inSongList = false;
  float reverbMix = 1.0f;
  bool absoluteVolume = false;
  bool spareInUse = false;
  const SoundChannelOps* ops = nullptr;
  void* driverData = nullptr;

  // Mixer state: position in 32.16 fixed point (whole frames and the fraction's top 16 bits
  // kept in the top of a u32), step likewise, gains 0..255, ramp gains in 24.8.
  int64_t mixPos = 0;
  uint32_t mixFrac = 0;
  int32_t step = 1;
  uint32_t stepFrac = 0;
  uint8_t direction = 1;     // 1 forward, 2 backward
  int32_t mixVolume = 0;     // what the mixer was given (master-scaled)
  int32_t mixPan = 128;
  int32_t leftGain = 0;
  int32_t rightGain = 0;
  int32_t halfVolume = 0;
  uint32_t startOffset = 0;
  int32_t rampTargetL = 0, rampTargetR = 0;  // the gains the running ramp aims at
  int32_t rampCurL = 0, rampCurR = 0;        // 24.8
  int32_t rampIncL = 0, rampIncR = 0;        // 24.8 per frame
  int32_t rampLeft = 0;                      // frames of ramp left
  bool streamOwned = false;
};

struct SoundDspUnit {
  SoundDspUnit* next = this;
  SoundDspUnit* prev = this;
  SoundDspCallback callback = nullptr;
  int32_t priority = 0;
  bool active = false;
  void* userData = nullptr;
  ChannelLink channels;      // software channels started on this unit
  bool freed = false;        // unlinked during a block by a callback; deleted after it
};

// Records kept by the drivers and handed back through the reverb getters.
struct SoundReverbValues {
  int32_t environment = 0;
  float volume = 0, decay = 0, damping = 0;
  int32_t room = 0, roomHf = 0;
  float roomRolloff = 0, decayTime = 0, decayHfRatio = 0;
  int32_t reflections = 0;
  float reflectionsDelay = 0;
  int32_t reverb = 0;
  float reverbDelay = 0, environmentSize = 0, environmentDiffusion = 0, airAbsorptionHf = 0;
};

struct SoundListener {
  float position[3] = {0, 0, 0};
  float velocity[3] = {0, 0, 0};
  float forward[3] = {0, 0, 1};
  float top[3] = {0, 1, 0};
  float right[3] = {1, 0, 0};
  float previous[3] = {0, 0, 0};
  float doppler = 1.0f;
  float distanceScale = 1.0f;
  float rolloff = 1.0f;
};

// Four counter readings and two smoothed accumulators.
struct SoundCpuMeter {
  uint64_t workStart = 0, workEnd = 0, periodStart = 0, periodEnd = 0;
  float usage = 0, period = 0;
};

struct SoundFileProcs {
  SoundFileOpenProc open = nullptr;
  SoundFileCloseProc close = nullptr;
  SoundFileReadProc read = nullptr;
  SoundFileSeekProc seek = nullptr;
  SoundFileTellProc tell = nullptr;
};

struct ChannelRange {
  int32_t first = 0, last = -1, cursor = 0;
};

struct SoundEngineState {
  // settings
  int32_t outputType = -1;
  const SoundOutputDriver* driver = nullptr;
  int32_t mixerType = 4;
  int32_t deviceIndex = -1;
  int32_t mixRate = 44100;
  int32_t bufferSetting = -1;  // milliseconds doubled
  int32_t maxHardwareChannels = 99999;
  int32_t minHardwareChannels = 0;
  int32_t masterVolume = 255;
  float panSeparation = 1.0f;
  void* window = nullptr;
  uint32_t initFlags = 0;
  SoundFileProcs fileProcs;

  std::atomic<bool> initialised{false};
  std::thread::id owner;
  std::atomic<int32_t> lastError{0};
  bool hardwareMixing = false;
  bool emulated = false;

  bool devicesValid = false;
  std::vector<std::string> deviceNames;
  std::vector<std::string> recordDeviceNames;

  std::vector<SoundSample*> samples;  // the numbered samples
  std::vector<SoundChannel> channels; // software, hardware, one spare
  int32_t softwareChannels = 0, hardwareChannels = 0, channelCount = 0;
  ChannelRange softwareRange, hardwareRange;
  SoundSample* mixBuffer = nullptr;   // the primary mix buffer
  SoundChannel mixBufferChannel;
  SoundReverbValues reverb;
  SoundListener listener;
  std::atomic<float> streamCpu{0.0f};
  const SoundOutputDriver* driverOverride = nullptr;  // a test's driver
};

extern SoundEngineState g_sound;

// ---- locking ----
// One mutex guards what the mixer reads. EngineLock nests on one thread. Callbacks of the
// program never run with it held.
struct EngineLock {
  EngineLock();
  ~EngineLock();
  EngineLock(const EngineLock&) = delete;
  EngineLock& operator=(const EngineLock&) = delete;
};
// Releases the engine lock held by this thread for a scope (around callbacks).
struct EngineUnlock {
  EngineUnlock();
  ~EngineUnlock();
  EngineUnlock(const EngineUnlock&) = delete;
  EngineUnlock& operator=(const EngineUnlock&) = delete;
  int depth;
};
// With the engine lock held: waits until the mixer is not inside a block (returns at once on
// the mixer thread itself).
void WaitMixerIdle();
void SetMixerBusy(bool busy);
bool MixerBusy();

// ---- last error and the owner thread ----
void ApiEnter();           // clears the last error on the owner thread
void ApiClearError();      // clears it whatever the thread
void SetSoundError(int32_t code);
// The load's memory error is the size limit (SoundErrorWasSizeLimit); ClearSizeLimitNote clears it.
void NoteSizeLimit();
void ClearSizeLimitNote();
bool IsOwnerThread();

// ---- helpers shared by the engine files ----
uint32_t NormaliseMode(uint32_t mode);
uint32_t SampleFrameBytes(const SoundSample* s);
uint32_t SampleByteSize(const SoundSample* s);
void RefreshLoopPadding(SoundSample* s);
SoundSample* SoundSampleCreate(int32_t index, uint32_t mode);
SoundChannel* GetChannelRecord(int32_t handle);
SoundChannel* ChooseChannel(int32_t requested, ChannelRange* range, SoundSample* sample,
                            int32_t priority);
void StopChannelRecord(SoundChannel* c);
void Compute3DChannelMix(SoundChannel* c);
bool EnumerateOutputDevices();
// Opens a named file or (kSoundMemory) a memory block of length bytes through the file layer,
// with the program's own file procedures in place.
struct SoundFile* OpenSoundSource(const void* source, uint32_t mode, int32_t length);
// Reads a named file or (kSoundMemory) a memory block through the file format readers into a new
// sample at index; none with the last error set when no reader accepts it.
SoundSample* DecodeSoundSource(int32_t index, const void* source, uint32_t mode, int32_t length);
uint64_t SoundClockMicros();   // the engine's own monotonic clock
float UpdateCpuMeter(SoundCpuMeter* meter, float smoothing);
void CloseRecording();         // stops a recording and frees its target (engine close)
void RecordPoll();             // copies what the input captured since the last look
void ForgetRecordTarget(const SoundSample* s);
void ResetRecordDevice();
void ResetListener();

// A worker thread: a stop flag, a condition variable to sleep on, joined on stop.
class SoundWorker {
 public:
  // level: -1 below normal, 0 normal, 1 highest, 2 time critical (real-time where allowed).
  bool Start(void (*body)(SoundWorker*), int level);
  void RequestStop();
  void Join();
  bool Running() const { return thread_.joinable(); }
  bool StopRequested() const { return stop_.load(); }
  // Sleeps up to ms milliseconds; returns false when a stop was asked for.
  bool Sleep(uint32_t ms);

 private:
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable cv_;
};

// Engine-internal links between the core, the mixer and the DSP chain.
void SetOwnerThread();                                   // the thread that started the engine
void DspInsertUnit(SoundDspUnit* unit, int32_t priority);
void DspFreeAllUnits();
