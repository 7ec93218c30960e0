#pragma once
// The sound engine's flat interface: settings, start and close, samples, channels, 3D sound,
// the DSP unit chain, reverb values and recording. Entry points never raise: they return a
// flag (1 success, 0 failure), a handle (-1 failure) or a record (null failure) and set the
// last error, which calls from the thread that started the engine clear on entry.
#include <cstdint>
#include <string>

struct SoundSample;
struct SoundChannel;
struct SoundDspUnit;

// Sample mode bits.
inline constexpr uint32_t kSoundLoopOff = 0x1;
inline constexpr uint32_t kSoundLoopNormal = 0x2;
inline constexpr uint32_t kSoundLoopBidi = 0x4;
inline constexpr uint32_t kSound8Bits = 0x8;
inline constexpr uint32_t kSound16Bits = 0x10;
inline constexpr uint32_t kSoundMono = 0x20;
inline constexpr uint32_t kSoundStereo = 0x40;
inline constexpr uint32_t kSoundUnsigned = 0x80;
inline constexpr uint32_t kSoundSigned = 0x100;
inline constexpr uint32_t kSoundDelta = 0x200;
inline constexpr uint32_t kSoundPacked = 0x400;
inline constexpr uint32_t kSoundPacked2 = 0x800;
inline constexpr uint32_t kSoundHardware3D = 0x1000;
inline constexpr uint32_t kSound2D = 0x2000;
inline constexpr uint32_t kSoundOwnBuffer = 0x4000;
inline constexpr uint32_t kSoundMemory = 0x8000;
inline constexpr uint32_t kSoundRaw = 0x10000;
inline constexpr uint32_t kSoundMpegAccurate = 0x20000;

// Last-error codes.
enum SoundError : int32_t {
  kSoundOk = 0,
  kSoundErrInitialised = 1,   // a start-up setting made while running
  kSoundErrUninitialised = 2, // needs the engine started, or no device list
  kSoundErrInit = 3,          // a device cannot be opened or started
  kSoundErrAllocated = 4,     // the device is in use
  kSoundErrPlay = 5,
  kSoundErrOutputFormat = 6,
  kSoundErrCooperative = 7,
  kSoundErrCreateBuffer = 8,
  kSoundErrFileOpen = 9,
  kSoundErrFileFormat = 10,
  kSoundErrFileBad = 11,
  kSoundErrMemory = 12,
  kSoundErrInvalidParam = 14,
  kSoundErrNoEffects = 15,
  kSoundErrEffects = 16,
  kSoundErrChannelAlloc = 17,
  kSoundErrRecord = 18,
};

// Special channel values.
inline constexpr int32_t kSoundFreeChannel = -1;    // play: any free channel
inline constexpr int32_t kSoundAllChannels = -3;    // setters, stop, pause: every channel
inline constexpr int32_t kSoundMixBufferChannel = -1000;

// Sample table indices.
inline constexpr int32_t kSoundFreeSample = -1;
inline constexpr int32_t kSoundUnlisted = -2;

// Keep markers of the reverb setters.
inline constexpr int32_t kSoundReverbKeep = -9999999;
inline constexpr float kSoundReverbKeepF = -9999999.0f;

// ---- settings (before SoundInit unless noted) ----
bool SoundSetOutput(int32_t outputType);   // -1 automatic, 0 none, 1 waveform ring, 2 direct ring
bool SoundSetDriver(int32_t deviceIndex);
bool SoundSetMixer(int32_t mixerType);
bool SoundSetBufferSize(int32_t milliseconds);
bool SoundSetWindowHandle(void* window);
bool SoundSetMinHardwareChannels(int32_t count);
bool SoundSetMaxHardwareChannels(int32_t count);
void SoundSetMasterVolume(int32_t volume);  // any time
void SoundSetPanSeparation(float separation);  // any time

// User file procedures for sound sources (all five or none).
using SoundFileOpenProc = void* (*)(const char* name);
using SoundFileCloseProc = void (*)(void* handle);
using SoundFileReadProc = uint32_t (*)(void* buffer, uint32_t size, void* handle);
using SoundFileSeekProc = int32_t (*)(void* handle, int32_t offset, int32_t origin);
using SoundFileTellProc = int32_t (*)(void* handle);

// ---- start and close ----
// Starts on the chosen output; when its device cannot be opened the engine starts on the
// no-sound output instead (SoundGetOutput answers 0 and the last error keeps the device's code).
bool SoundInit(int32_t mixRate, int32_t softwareChannels, uint32_t flags);
void SoundClose();
// Closes the engine and puts every setting, the listener and the reverb values back to their
// defaults, as at process start.
void SoundEngineReset();

// ---- queries ----
int32_t SoundGetOutput();
// True while the engine runs on an output that plays somewhere (not the no-sound output).
bool SoundOutputAudible();
int32_t SoundGetMixer();
int32_t SoundGetNumDrivers();
const char* SoundGetDriverName(int32_t index);
bool SoundGetDriverCaps(int32_t index, uint32_t* caps);
int32_t SoundGetMixRate();
int32_t SoundGetMasterVolume();
int32_t SoundGetMaxChannels();
int32_t SoundGetNumHardwareChannels();
int32_t SoundGetMaxSamples();
int32_t SoundGetError();
// Whether the last kSoundErrMemory of a load was a sample past the size limit, not memory that
// ran out (a load clears it as it starts).
bool SoundErrorWasSizeLimit();
// What the last load refused with kSoundErrFileFormat found that is not supported, such as "a
// WAV of 9 channels (1 to 8 are read)"; "" when the source was not recognised at all.
const std::string& SoundErrorDetail();
// What the last load refused with kSoundErrFileBad found damaged, such as "the data chunk holds
// no whole sample"; "" when it gave no detail.
const std::string& SoundDamageDetail();
int32_t SoundGetBufferSetting();  // the buffer length setting: milliseconds doubled, -1 unset

// ---- reverb values (kept by the software outputs) ----
bool SoundSetReverb(int32_t environment, float volume, float decay, float damping);
bool SoundGetReverb(int32_t* environment, float* volume, float* decay, float* damping);

// ---- samples ----
SoundSample* SoundSampleAlloc(int32_t index, int32_t length, uint32_t mode, int32_t frequency,
                              int32_t volume, int32_t pan, int32_t priority);
// Loads a named file or (mode kSoundMemory) a memory block of the given length.
SoundSample* SoundSampleLoad(int32_t index, const void* source, uint32_t mode, int32_t length);
SoundSample* SoundSampleLoadRaw(int32_t index, const char* name, uint32_t mode);
// Writes a whole sample's data given in the mode's format. sourceBytes bounds what is read;
// 0 means the data holds the sample's frames in that format (packed data needs its size).
bool SoundSampleUpload(SoundSample* sample, const void* data, uint32_t mode,
                       uint32_t sourceBytes = 0);
void SoundSampleFree(SoundSample* sample);
bool SoundSampleLock(SoundSample* sample, int32_t offset, uint32_t length, void** ptr1, void** ptr2,
                     uint32_t* len1, uint32_t* len2);
bool SoundSampleUnlock(SoundSample* sample, void* ptr1, void* ptr2, uint32_t len1, uint32_t len2);
bool SoundSampleSetLoopMode(SoundSample* sample, int32_t loopMode);
bool SoundSampleSetLoopPoints(SoundSample* sample, int32_t start, int32_t end);
bool SoundSampleGetLoopPoints(SoundSample* sample, int32_t* start, int32_t* end);
bool SoundSampleSetDefaults(SoundSample* sample, int32_t frequency, int32_t volume, int32_t pan,
                            int32_t priority);
bool SoundSampleGetDefaults(SoundSample* sample, int32_t* frequency, int32_t* volume, int32_t* pan,
                            int32_t* priority);
uint32_t SoundSampleGetMode(SoundSample* sample);
uint32_t SoundSampleGetLength(SoundSample* sample);
const char* SoundSampleGetName(SoundSample* sample);
bool SoundSampleSetMinMaxDistance(SoundSample* sample, float minimum, float maximum);
SoundSample* SoundGetSample(int32_t index);

// ---- channels ----
int32_t SoundPlayOnChannel(SoundDspUnit* unit, int32_t channel, SoundSample* sample, bool paused);
int32_t SoundPlay(int32_t channel, SoundSample* sample);
int32_t SoundPlayWithAttributes(int32_t channel, SoundSample* sample, int32_t frequency,
                                int32_t volume, int32_t pan, const float* position,
                                const float* velocity);
int32_t SoundPlayWithFrequency(int32_t channel, SoundSample* sample, int32_t frequency,
                               int32_t volume, int32_t pan);

bool SoundStopChannel(int32_t channel);
bool SoundStopAllChannels();
bool SoundSetChannelFrequency(int32_t channel, int32_t frequency);
bool SoundSetChannelVolume(int32_t channel, int32_t volume);
bool SoundSetChannelVolumeAbsolute(int32_t channel, int32_t volume);
bool SoundSetChannelPan(int32_t channel, int32_t pan);
bool SoundSetChannelPanRaw(int32_t channel, int32_t pan);
bool SoundSetChannelSurround(int32_t channel, bool on);
bool SoundSetChannelMute(int32_t channel, bool on);
bool SoundSetChannelPaused(int32_t channel, bool on);
bool SoundSetChannelPriority(int32_t channel, uint32_t priority);
bool SoundSetChannelReserved(int32_t channel, bool on);
bool SoundSetChannel3DAttributes(int32_t channel, const float* position, const float* velocity);
bool SoundGetChannel3DAttributes(int32_t channel, float* position, float* velocity);
bool SoundSetChannelReverbMix(int32_t channel, float mix);
bool SoundGetChannelReverbMix(int32_t channel, float* mix);

int32_t SoundGetChannelFrequency(int32_t channel);
int32_t SoundGetChannelVolume(int32_t channel);
int32_t SoundGetChannelPan(int32_t channel);
bool SoundGetChannelMute(int32_t channel);
int32_t SoundGetChannelPriority(int32_t channel);
bool SoundGetChannelPaused(int32_t channel);
SoundSample* SoundGetChannelSample(int32_t channel);
int64_t SoundGetChannelPosition(int32_t channel);
float SoundGetChannelLevel(int32_t channel);
bool SoundIsChannelPlaying(int32_t channel);
int32_t SoundGetChannelsPlaying();

// ---- 3D sound ----
void Sound3DSetListener(const float* position, const float* velocity, float fx, float fy, float fz,
                        float tx, float ty, float tz);
void Sound3DGetListener(float* position, float* velocity, float* fx, float* fy, float* fz, float* tx,
                        float* ty, float* tz);
void Sound3DSetDopplerFactor(float factor);
void Sound3DSetDistanceFactor(float unitsPerMetre);
void Sound3DSetRolloffFactor(float factor);
void Sound3DUpdate();
// The listener's forward and top vectors for rotations about x, y and z (degrees, in that
// order), as the command layer turns its listener.
void Sound3DVectorsFromAngles(float ax, float ay, float az, float forward[3], float top[3]);

// ---- DSP unit chain ----
// (block, input, length in frames, user data) -> the buffer the next unit reads. Blocks are
// 16-bit stereo frames.
using SoundDspCallback = void* (*)(void* block, void* input, int32_t length, void* userData);
SoundDspUnit* DspCreateUnit(SoundDspCallback callback, int32_t priority, void* userData);
void DspFreeUnit(SoundDspUnit* unit);
void DspSetPriority(SoundDspUnit* unit, int32_t priority);
int32_t DspGetPriority(SoundDspUnit* unit);
void DspSetActive(SoundDspUnit* unit, bool active);
bool DspGetActive(SoundDspUnit* unit);
SoundDspUnit* DspGetClearUnit();
SoundDspUnit* DspGetChannelMixUnit();
SoundDspUnit* DspGetStreamUnit();
SoundDspUnit* DspGetWriteOutUnit();
int32_t DspGetBufferLength();
bool SoundDspMixBuffers(void* destination, const void* source, int32_t length, int32_t frequency,
                        int32_t volume, int32_t pan, uint32_t mode);

// ---- recording ----
int32_t SoundRecordGetNumDrivers();
const char* SoundRecordGetDriverName(int32_t index);
bool SoundRecordSetDriver(int32_t index);
int32_t SoundRecordGetDriver();
bool SoundRecordStart(SoundSample* sample, bool loop);
bool SoundRecordStop();
int64_t SoundRecordGetPosition();
