// Music commands: loading music files and CD tracks, playing, looping, pausing, resuming,
// stopping and deleting them, and the queries of their marks.
#include <string>

#include "core/errors.h"
#include "core/handler.h"
#include "sound/commands/commands.h"
#include "sound/commands/mci_strings.h"
#include "sound/commands/music_slots.h"

namespace {

MusicSlot& Slot(int32_t n) { return g_music.slots[n]; }

bool InRange(int32_t n) {
  if (MusicNumberInRange(n)) return true;
  RunError(kErrMusicNumberOutOfRange);
  return false;
}

bool MusicOk(int32_t n) {
  if (!InRange(n)) return false;
  if (Slot(n).loaded) return true;
  RunError(kErrMusicMissing);
  return false;
}

// file: the music file asked for, named with the cause after the error's text when it failed.
// A built game goes on past the error, so no cause is left behind for a later error.
void Loaded(int32_t n, bool ok, const char* file = nullptr) {
  MusicSlot& s = Slot(n);
  if (!ok) {
    const std::string before = g_lastEngineError;
    // A name the command string cannot carry (a double quote in it) fails before any file is
    // tried: it is named all the same.
    if (file)
      g_lastEngineError =
          (std::string(file) + ": " + (MciOpenFailure().empty() ? "cannot be opened" : MciOpenFailure())).substr(0, 255);
    RunError(kErrMusicNotLoaded);
    if (g_errorCode != kErrMusicNotLoaded) g_lastEngineError = before;
    return;
  }
  s.loaded = 1;
  s.playing = s.paused = s.looping = 0;
}

void CmdLoadMusic() {
  const char* file = OpString(0);
  const int32_t n = OpInt(1);
  SkipOperands(2);
  if (!InRange(n)) return;
  const FileLoadScope load(kErrMusicNotLoaded, file ? file : "");
  if (Slot(n).loaded) {
    CloseMusic(n);
    Slot(n).loaded = 0;
  }
  Loaded(n, LoadMusic(n, file), file);
}

void CmdLoadCdMusic() {
  const int32_t track = OpInt(0), n = OpInt(1);
  SkipOperands(2);
  if (!InRange(n)) return;
  if (Slot(n).loaded) {
    CloseMusic(n);
    Slot(n).loaded = 0;
  }
  Loaded(n, LoadCdTrackMusic(n, track));
}

void CmdDeleteMusic() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (!MusicOk(n)) return;
  CloseMusic(n);
  Slot(n) = MusicSlot{};
}

void CmdPlayMusic() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (!MusicOk(n) || !PlayMusic(n)) return;
  Slot(n).playing = 1;
  Slot(n).paused = 0;
  Slot(n).looping = 0;
}

void CmdLoopMusic() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (!MusicOk(n) || !LoopMusic(n)) return;
  Slot(n).playing = 1;
  Slot(n).paused = 0;
  Slot(n).looping = 1;
}

void CmdStopMusic() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (!MusicOk(n) || !StopMusic(n)) return;
  Slot(n).playing = 0;
  Slot(n).looping = 0;
}

void CmdPauseMusic() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (!MusicOk(n)) return;
  if (!Slot(n).playing) {
    RunError(kErrMusicNotPlaying);
    return;
  }
  if (!Slot(n).paused && PauseMusic(n)) Slot(n).paused = 1;
}

void CmdResumeMusic() {
  const int32_t n = OpInt(0);
  SkipOperands(1);
  if (!MusicOk(n)) return;
  if (Slot(n).paused && ResumeMusic(n)) {
    Slot(n).paused = 0;
    Slot(n).pausedByFocus = 0;
  }
}

void CmdMusicExist() {
  VarCell* result = OpCell(0);
  const int32_t n = OpInt(1);
  SkipOperands(2);
  if (InRange(n)) result->i = Slot(n).loaded;
}

template <uint8_t MusicSlot::*Field>
void CmdMusicMark() {
  VarCell* result = OpCell(0);
  const int32_t n = OpInt(1);
  SkipOperands(2);
  // A missing track answers 0 (after the warning, which a built game goes on from).
  if (MusicOk(n)) result->i = Slot(n).*Field;
  else if (MusicNumberInRange(n)) result->i = 0;
}

const CommandDef kMusicCommands[] = {
    {3501, CmdLoadMusic, "sl"},
    {3601, CmdLoadCdMusic, "ll"},
    {3502, CmdDeleteMusic, "l"},
    {3503, CmdPlayMusic, "l"},
    {3504, CmdStopMusic, "l"},
    {3505, CmdPauseMusic, "l"},
    {3506, CmdResumeMusic, "l"},
    {3507, CmdLoopMusic, "l"},
    {3551, CmdMusicExist, "ll"},
    {3552, CmdMusicMark<&MusicSlot::playing>, "ll"},
    {3553, CmdMusicMark<&MusicSlot::paused>, "ll"},
    {3554, CmdMusicMark<&MusicSlot::looping>, "ll"},
};

}  // namespace

std::span<const CommandDef> MusicCommands() { return kMusicCommands; }
