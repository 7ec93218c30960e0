// Sound commands: loading, cloning and deleting numbered sounds, playback and its values, 3D
// positions and the listener, recording and saving, and the queries.
#include <string>

#include "core/errors.h"
#include "core/handler.h"
#include "sound/commands/commands.h"
#include "sound/commands/sound_slots.h"

namespace {

SoundSlot& Slot(int32_t n) { return g_soundCmd.slots[n]; }

bool Available() { return g_soundCmd.available != 0; }

bool InRange(int32_t n) {
  if (SoundNumberInRange(n)) return true;
  RunError(kErrSoundNumberOutOfRange);
  return false;
}

// The checks of most commands: the number's range (3001), then the sound (3004, raised only
// while sound is available so that a system without sound runs silently).
bool SoundOk(int32_t n) {
  if (!InRange(n)) return false;
  if (Slot(n).exists) return true;
  if (Available()) RunError(kErrSoundMissing);
  return false;
}

// Makes room for a new sound in n: what was there goes, and a recording into n stops.
void ClearForNew(int32_t n) {
  if (Slot(n).exists || g_soundCmd.recordingSlot == n) SoundSlotDelete(n);
}

// Error 3002, with the file and the cause following the error's text. A built game goes on
// past it, so no cause is left behind for a later error.
void RaiseNotLoaded(const char* file, const std::string& why) {
  const std::string before = g_lastEngineError;
  g_lastEngineError = (std::string(file ? file : "") + ": " + why).substr(0, 255);
  RunError(kErrSoundNotLoaded);
  if (g_errorCode != kErrSoundNotLoaded) g_lastEngineError = before;
}

// A failed load says why while sound is available; without it, sounds do not load, and only a
// file that is missing or no regular file is said, as LOAD MUSIC says it.
void SayNotLoaded(const char* file, const std::string& why) {
  if (Available()) return RaiseNotLoaded(file, why);
  if (const std::string absent = SoundFileAbsence(file); !absent.empty()) RaiseNotLoaded(file, absent);
}

void LoadInto(const char* file, int32_t n, bool priority) {
  if (!InRange(n)) return;
  const FileLoadScope load(kErrSoundNotLoaded, file ? file : "");
  ClearForNew(n);
  std::string why;
  if (SoundSlotLoad(n, file, priority, &why)) {
    ResetSlotMarks(n);
  } else {
    SayNotLoaded(file, why);
  }
}

void CmdLoadSound() {
  const char* file = OpString(0);
  const int32_t n = OpInt(1);
  SkipOperands(2);
  LoadInto(file, n, false);
}

void CmdLoadPrioritySound() {
  const char* file = OpString(0);
  const int32_t n = OpInt(1);
  SkipOperands(3);
  LoadInto(file, n, true);
}

void CmdLoad3DSound() {
  const char* file = OpString(0);
  const int32_t n = OpInt(1);
  SkipOperands(2);
  if (!InRange(n)) return;
  const FileLoadScope load(kErrSoundNotLoaded, file ? file : "");
  ClearForNew(n);
  std::string why;
  if (SoundSlotLoad3D(n, file, &why)) {
    ResetSlotMarks(n);
    Slot(n).type = 1;
  } else {
    SayNotLoaded(file, why);
  }
}

void CmdDeleteSound() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (SoundOk(n)) SoundSlotDelete(n);
}

// Play, with 0 to 3 further operands that playback does not use.
template <int Extra>
void CmdPlaySound() {
  const int32_t n = OpInt(0);
  SkipOperands(1 + Extra);
  if (!SoundOk(n)) return;
  SoundSlotPlay(n);
  SoundSlot& s = Slot(n);
  s.playing = 1;
  s.looping = 0;
  s.paused = 0;  // it plays again from the start, not paused
}

template <int Extra>
void CmdLoopSound() {
  const int32_t n = OpInt(0);
  SkipOperands(1 + Extra);
  if (!SoundOk(n)) return;
  SoundSlotLoop(n);
  SoundSlot& s = Slot(n);
  s.playing = 1;
  s.looping = 1;
  s.paused = 0;
}

void CmdStopSound() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (!SoundOk(n)) return;
  SoundSlotStop(n);
  Slot(n).playing = 0;
  Slot(n).looping = 0;
}

void CmdPauseSound() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (!SoundOk(n)) return;
  SoundSlotPause(n);
  Slot(n).paused = 1;
}

void CmdResumeSound() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (!SoundOk(n)) return;
  SoundSlotResume(n);
  Slot(n).paused = 0;
  Slot(n).pausedByFocus = 0;
}

void CmdSetSoundVolume() {
  const int32_t n = OpInt(0), percent = OpInt(1);
  SkipOperands(2);
  if (!SoundOk(n)) return;
  if (percent < 0 || percent > 100) {
    RunError(kErrSoundVolumeOutOfRange);
    return;
  }
  SoundSlotSetVolume(n, percent);
  Slot(n).volumePercent = percent;
}

void CmdSetSoundSpeed() {
  const int32_t n = OpInt(0), hz = OpInt(1);
  SkipOperands(2);
  if (!SoundOk(n)) return;
  if (hz < 100 || hz > 100000) {
    RunError(kErrSoundFrequencyOutOfRange);
    return;
  }
  SoundSlotSetFrequency(n, hz);
  Slot(n).speed = hz;
}

void CmdSetSoundPan() {
  const int32_t n = OpInt(0), pan = OpInt(1);
  SkipOperands(2);
  if (!SoundOk(n)) return;
  if (pan < -10000 || pan > 10000) {
    RunError(kErrSoundPanOutOfRange);
    return;
  }
  SoundSlotSetPan(n, pan);
  Slot(n).pan = pan;
}

void CmdPositionSound() {
  const int32_t n = OpInt(0);
  const float x = OpFloat(1), y = OpFloat(2), z = OpFloat(3);
  SkipOperands(4);
  if (!SoundOk(n)) return;
  float* p = Slot(n).position;
  p[0] = x;
  p[1] = y;
  p[2] = z;
  SoundSlotSetPosition(n);
}

void CmdPositionListener() {
  const float x = OpFloat(0), y = OpFloat(1), z = OpFloat(2);
  SkipOperands(3);
  if (!Available()) return;
  float* p = g_soundCmd.listenerPosition;
  p[0] = x;
  p[1] = y;
  p[2] = z;
  SetListenerPosition(x, y, z);
}

void CmdRotateListener() {
  const float x = OpFloat(0), y = OpFloat(1), z = OpFloat(2);
  SkipOperands(3);
  if (!Available()) return;
  float* a = g_soundCmd.listenerAngles;
  a[0] = x;
  a[1] = y;
  a[2] = z;
  SetListenerAngles(x, y, z);
}

void CmdScaleListener() {
  const float scale = OpFloat(0);
  SkipOperands(1);
  if (Available()) SetListenerScale(scale / 100.0f);
}

void CmdCloneSound() {
  const int32_t n = OpInt(0), m = OpInt(1);
  SkipOperands(2);
  if (!Available()) return;
  if (!SoundNumberInRange(n) || !SoundNumberInRange(m)) {
    RunError(kErrSoundNumberOutOfRange);
    return;
  }
  if (n == m) {
    RunError(kErrSoundClonedIntoItself);
    return;
  }
  if (!Slot(m).exists) {
    RunError(kErrSoundCloneSourceMissing);
    return;
  }
  ClearForNew(n);
  if (!SoundSlotClone(n, m)) {
    RunError(kErrSoundCloneFailed);
    return;
  }
  ResetSlotMarks(n);
}

void RecordInto(int32_t n, int32_t seconds) {
  if (!InRange(n)) return;
  ClearForNew(n);
  // One recording at a time: a recording into another number is dropped.
  if (g_soundCmd.recordingSlot != 0) SoundSlotDelete(g_soundCmd.recordingSlot);
  if (!SoundSlotRecord(n, seconds) && Available() && !g_soundCmd.recordRefused) RunError(kErrSoundNotLoaded);
}

void CmdRecordSound() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  RecordInto(n, 0);
}

void CmdRecordSoundFor() {
  const int32_t n = OpInt(0), seconds = OpInt(1);
  SkipOperands(2);
  RecordInto(n, seconds);
}

void CmdStopRecordingSound() {
  const int32_t n = SoundSlotStopRecording();
  if (n > 0) {
    ResetSlotMarks(n);
  } else if (Available() && !g_soundCmd.recordRefused) {
    RunError(kErrSoundNotLoaded);
  }
}

void CmdSaveSound() {
  const char* file = OpString(0);
  const int32_t n = OpInt(1);
  SkipOperands(2);
  if (!InRange(n)) return;
  std::string why;
  if (!SaveSoundAsWav(file, n, &why) && Available()) RunFileError(kErrSoundNotSaved, file, why);
}

// Commands of a feature this system does not provide: their checks, then 3201.
void CmdSoundEffect() {
  SkipOperands(1);
  RunError(kErrSoundFeatureUnavailable);
}

void CmdApplySoundEffect() {
  const int32_t n = OpInt(1);
  SkipOperands(2);
  if (!InRange(n)) return;
  RunError(Slot(n).exists ? kErrSoundNumberInUse : kErrSoundFeatureUnavailable);
}

void CmdSoundEffectValue() {
  SkipOperands(2);
  RunError(kErrSoundFeatureUnavailable);
}

void CmdClearSoundEffects() { RunError(kErrSoundFeatureUnavailable); }

void CmdSoundExist() {
  const int32_t n = OpInt(1);
  VarCell* result = OpCell(0);
  SkipOperands(2);
  if (InRange(n)) result->i = (Slot(n).exists && Available()) ? 1 : 0;
}

// A query of a number in range without a sound answers 0: a program on a machine without sound
// (or a built game going on after the warning) must not read whatever the result held before.
void NoSoundAnswer(VarCell* result, int32_t n) {
  if (SoundNumberInRange(n)) result->raw = 0;
}

void CmdSoundPlaying() {
  const int32_t n = OpInt(1);
  VarCell* result = OpCell(0);
  SkipOperands(2);
  if (!SoundOk(n)) return NoSoundAnswer(result, n);
  SoundSlot& s = Slot(n);
  if (s.playing && !SoundSlotIsPlaying(n)) s.playing = 0;
  result->i = s.playing;
}

// The integer queries of a sound's marks and values.
template <int32_t SoundSlot::*Field>
void CmdSoundValue() {
  const int32_t n = OpInt(1);
  VarCell* result = OpCell(0);
  SkipOperands(2);
  if (SoundOk(n)) result->i = Slot(n).*Field;
  else NoSoundAnswer(result, n);
}

template <uint8_t SoundSlot::*Field>
void CmdSoundMark() {
  const int32_t n = OpInt(1);
  VarCell* result = OpCell(0);
  SkipOperands(2);
  if (SoundOk(n)) result->i = Slot(n).*Field;
  else NoSoundAnswer(result, n);
}

template <int Axis>
void CmdSoundPosition() {
  const int32_t n = OpInt(1);
  VarCell* result = OpCell(0);
  SkipOperands(2);
  if (SoundOk(n)) result->f = Slot(n).position[Axis];
  else NoSoundAnswer(result, n);
}

template <int Axis>
void CmdListenerPosition() {
  OpCell(0)->f = g_soundCmd.listenerPosition[Axis];
  SkipOperands(1);
}

template <int Axis>
void CmdListenerAngle() {
  OpCell(0)->f = g_soundCmd.listenerAngles[Axis];
  SkipOperands(1);
}

const CommandDef kSoundCommands[] = {
    {3001, CmdLoadSound, "sl"},
    {3026, CmdLoadPrioritySound, "sll"},
    {3011, CmdLoad3DSound, "sl"},
    {3002, CmdDeleteSound, "l"},
    {3003, CmdPlaySound<0>, "l"},
    {3022, CmdPlaySound<1>, "ll"},
    {3004, CmdStopSound, "l"},
    {3005, CmdPauseSound, "l"},
    {3006, CmdResumeSound, "l"},
    {3007, CmdLoopSound<0>, "l"},
    {3023, CmdLoopSound<1>, "ll"},
    {3024, CmdLoopSound<2>, "lll"},
    {3025, CmdLoopSound<3>, "llll"},
    {3008, CmdSetSoundVolume, "ll"},
    {3009, CmdSetSoundSpeed, "ll"},
    {3010, CmdSetSoundPan, "ll"},
    {3012, CmdPositionSound, "lfff"},
    {3013, CmdPositionListener, "fff"},
    {3014, CmdRotateListener, "fff"},
    {3015, CmdScaleListener, "f"},
    {3021, CmdCloneSound, "ll"},
    {3027, CmdRecordSound, "l"},
    {3030, CmdRecordSoundFor, "ll"},
    {3028, CmdStopRecordingSound, ""},
    {3029, CmdSaveSound, "sl"},
    {3041, CmdSoundEffect, "l"},
    {3042, CmdApplySoundEffect, "ll"},
    {3043, CmdSoundEffectValue, "ll"},
    {3046, CmdClearSoundEffects, ""},
    {3051, CmdSoundExist, "ll"},
    {3052, CmdSoundPlaying, "ll"},
    {3053, CmdSoundMark<&SoundSlot::paused>, "ll"},
    {3054, CmdSoundMark<&SoundSlot::looping>, "ll"},
    {3055, CmdSoundValue<&SoundSlot::volumePercent>, "ll"},
    {3056, CmdSoundValue<&SoundSlot::speed>, "ll"},
    {3057, CmdSoundValue<&SoundSlot::pan>, "ll"},
    {3058, CmdSoundMark<&SoundSlot::type>, "ll"},
    {3059, CmdSoundPosition<0>, "fl"},
    {3060, CmdSoundPosition<1>, "fl"},
    {3061, CmdSoundPosition<2>, "fl"},
    {3062, CmdListenerPosition<0>, "f"},
    {3063, CmdListenerPosition<1>, "f"},
    {3064, CmdListenerPosition<2>, "f"},
    {3065, CmdListenerAngle<0>, "f"},
    {3066, CmdListenerAngle<1>, "f"},
    {3067, CmdListenerAngle<2>, "f"},
};

}  // namespace

std::span<const CommandDef> SoundCommands() { return kSoundCommands; }
