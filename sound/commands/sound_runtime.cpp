// The sound engine's life in a run: start-up, the per-frame hooks, pausing while the window is
// inactive, freeing every sound and closing the engine.
#include "platform/window.h"
#include "sound/commands/music_slots.h"
#include "sound/commands/sound_services.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/sound_engine.h"

namespace {

// Output 2 is the ring over the audio device; a headless run has no device and plays silently
// on output 0.
int32_t ChosenOutput() { return PlatformIsHeadless() ? 0 : 2; }

}  // namespace

void ResetSoundState() {
  CloseAllMusic();
  FreeAllSounds();
  SoundEngineReset();
  g_soundCmd = SoundCommandState{};
  ResetMusicState();
}

bool InitSoundEngine() {
  const int32_t output = ChosenOutput();
  SoundSetOutput(output);
  SoundSetMixer(0);
  SoundSetBufferSize(40);
  SoundSetWindowHandle(nullptr);
  const bool started = SoundInit(44100, 32, 0);
  // On the no-sound output (a headless run, or a device that could not be opened) the commands
  // behave as for an engine that did not start: sound is not available, loads fail silently and
  // a missing device never stops a program.
  g_soundCmd.available = started && SoundOutputAudible();
  if (started && !g_soundCmd.available) SoundClose();
  InitSoundListener();
  return true;
}

void InitSoundListener() {
  Sound3DSetRolloffFactor(0.002f);
  SetListenerPosition(0, 0, 0);
  SetListenerAngles(0, 0, 0);
}

void FreeAllSounds() {
  for (int32_t n = 0; n < kSoundSlotCount; ++n) SoundSlotStop(n);
  for (int32_t n = 0; n < kSoundSlotCount; ++n) SoundSlotDelete(n);
}

void ShutdownSound() {
  CloseAllMusic();
  FreeAllSounds();
  if (g_soundCmd.available) {
    g_soundCmd.available = 0;
    SoundClose();
  }
}

int SoundFrameHook() { return 1; }

void UpdateSound3D() {
  if (g_soundCmd.available) Sound3DUpdate();
}

// Only what plays is paused, and only that is resumed: a sound the program paused stays paused.
void PauseAllAudio() {
  PauseAllMusic();
  for (SoundSlot& s : g_soundCmd.slots) {
    s.pausedByFocus = 0;
    if (!s.exists || !s.playing || s.paused || !s.sample || s.channel == -1) continue;
    SoundSetChannelPaused(s.channel, true);
    s.pausedByFocus = 1;
  }
}

void ResumeAllAudio() {
  ResumeAllMusic();
  for (SoundSlot& s : g_soundCmd.slots) {
    if (!s.pausedByFocus) continue;
    s.pausedByFocus = 0;
    if (s.sample && s.channel != -1) SoundSetChannelPaused(s.channel, false);
  }
}
