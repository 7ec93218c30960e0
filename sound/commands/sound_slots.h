#pragma once
// The program's numbered sounds (1..1025) over the sound engine: one slot per number holding
// the sound's sample, the channel it last started on, the values the program set and the marks
// its queries report; the 3D listener; the engine's start and close for the runtime.
#include <cstdint>
#include <string>

struct SoundSample;

inline constexpr int kSoundSlotCount = 1030;
inline constexpr int kFirstSound = 1, kLastSound = 1025;

struct SoundSlot {
  SoundSample* sample = nullptr;  // shared between a sound and its clones
  int32_t channel = -1;           // handle of the channel it last started on
  int32_t frequency = 0;          // Hz given to each start
  int32_t engineVolume = 0;       // 0..255 given to each start
  int32_t speed = 0;              // reported frequency
  int32_t volumePercent = 100;
  int32_t pan = 0;                // -10000..10000 as the program set it
  uint8_t exists = 0;
  uint8_t owner = 0;              // frees the shared sample
  uint8_t is3D = 0;
  uint8_t priorityMark = 0;
  uint8_t playing = 0, paused = 0, looping = 0;
  uint8_t type = 0;               // 1 for a 3D sound
  uint8_t pausedByFocus = 0;      // paused by the window losing focus
  float position[3] = {0, 0, 0};
};

struct SoundCommandState {
  SoundSlot slots[kSoundSlotCount];
  float listenerPosition[3] = {0, 0, 0};
  float listenerAngles[3] = {0, 0, 0};
  float listenerForward[3] = {0, 0, 1};
  float listenerTop[3] = {0, 1, 0};
  uint8_t available = 0;        // the engine runs on the output it was given
  int32_t recordingSlot = 0;    // 0: no recording
  uint8_t recordRefused = 0;    // the last recording could not start for want of an input
};

extern SoundCommandState g_soundCmd;

inline bool SoundNumberInRange(int32_t n) { return n >= kFirstSound && n <= kLastSound; }

// Slot operations; each answers true unless it failed. A failed load gives its cause in why
// ("not found", "not a supported format", ...) when asked.
bool SoundSlotLoad(int32_t n, const char* file, bool priority, std::string* why = nullptr);
// The cause of a load the engine refused as not a supported format, with what it found
// unsupported when it said ("not a supported format: a WAV of 9 channels (1 to 8 are read)").
std::string SoundFormatRefusal();
// The cause of a load the engine refused as damaged, with what it found wrong when it said
// ("damaged: the data chunk holds no whole sample").
std::string SoundDamageRefusal();
bool SoundSlotLoad3D(int32_t n, const char* file, std::string* why = nullptr);
// Why a sound's file cannot be loaded with or without a sound device: "not found" or "not a
// regular file"; "" for a regular file.
std::string SoundFileAbsence(const char* file);
bool SoundSlotClone(int32_t n, int32_t m);
void SoundSlotDelete(int32_t n);
void SoundSlotStop(int32_t n);
void SoundSlotPlay(int32_t n);
void SoundSlotLoop(int32_t n);
void SoundSlotPause(int32_t n);
void SoundSlotResume(int32_t n);
void SoundSlotSetFrequency(int32_t n, int32_t hz);
void SoundSlotSetVolume(int32_t n, int32_t percent);
void SoundSlotSetPan(int32_t n, int32_t pan);
void SoundSlotSetPosition(int32_t n);
bool SoundSlotIsPlaying(int32_t n);
bool SoundSlotRecord(int32_t n, int32_t seconds);
// The slot the recording was kept in, or 0 when nothing was kept.
int32_t SoundSlotStopRecording();
// Writes the sound as a WAV file; false with the cause in why (when given) when it is not written.
bool SaveSoundAsWav(const char* file, int32_t n, std::string* why = nullptr);
// Marks back to a fresh sound's: type, playing, paused, looping 0, volume 100 %, pan 0.
void ResetSlotMarks(int32_t n);

// Conversions of the program's values to the engine's.
int32_t SoundVolumeToEngine(int32_t percent);  // 0..100 -> 0..254
int32_t SoundPanToEngine(int32_t pan);         // -10000..10000 -> 0..255

// The listener (nothing without sound).
void SetListenerPosition(float x, float y, float z);
void SetListenerAngles(float ax, float ay, float az);
void SetListenerScale(float scale);

// The WAV image a saved sound is written as: header from the format, then the data.
// Little-endian fields; 8-bit data is given as stored (signed) and written unsigned.
struct WavFormat {
  int32_t rate = 44100;
  int16_t channels = 1;
  int16_t bits = 16;
};
void BuildWavFile(const WavFormat& format, const void* data, uint32_t bytes, std::string* out);
