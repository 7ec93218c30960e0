// Music routines over the command strings, and the per-frame poll.
#include "sound/commands/music_slots.h"

#include "core/language.h"
#include "core/pack.h"
#include "platform/fs.h"
#include "sound/commands/mci_strings.h"
#include "sound/commands/sound_services.h"

MusicState g_music;

namespace {

std::string Alias(int32_t n) { return "music" + std::to_string(n); }

bool Send(const std::string& command) { return MciSendString(command, nullptr); }

bool SendForReply(const std::string& command) { return MciSendString(command, &g_music.reply); }

}  // namespace

bool LoadMusic(int32_t n, const char* file) {
  std::string name = file ? file : "";
  const std::string extension = name.size() >= 5 ? name.substr(name.size() - 3) : "mid";
  MapThroughPack(name, extension);
  MusicSlot& s = g_music.slots[n];
  if (s.loaded) CloseMusic(n);
  // A name with a drive, or from the root, is whole already.
  const bool whole = (name.size() > 1 && name[1] == ':') || (!name.empty() && (name[0] == '/' || name[0] == '\\'));
  const std::string path = whole ? name : FsToSystemPath(FsCurrentFolder()) + "\\" + name;
  const std::string alias = Alias(n);
  const std::string open = "open \"" + path + "\" alias " + alias;
  if (!Send(open)) return false;
  s.openCommand = open;
  s.setCommand.clear();
  s.playCommand = "play " + alias;
  s.cdTrack = 0;
  if (!SendForReply("status " + alias + " length")) return false;
  s.length = TextToInt(g_music.reply.c_str());
  return true;
}

bool LoadCdTrackMusic(int32_t n, int32_t track) {
  MusicSlot& s = g_music.slots[n];
  if (s.loaded) CloseMusic(n);
  const std::string alias = Alias(n);
  const std::string open = "open cdaudio alias " + alias;
  if (!Send(open)) return false;
  s.openCommand = open;
  const std::string set = "set " + alias + " time format tmsf";
  if (!Send(set)) {
    Send("close " + alias);
    return false;
  }
  s.setCommand = set;
  s.playCommand = "play " + alias + " from " + std::to_string(track);
  s.cdTrack = track;
  if (!SendForReply("status " + alias + " length")) {
    Send("stop " + alias);
    Send("close " + alias);
    return false;
  }
  s.length = TextToInt(g_music.reply.c_str());
  return true;
}

bool PlayMusic(int32_t n) {
  if (!Send(g_music.slots[n].playCommand)) return false;
  g_music.current = n;
  g_music.slots[n].repeat = 0;
  return true;
}

bool LoopMusic(int32_t n) {
  if (!Send(g_music.slots[n].playCommand)) return false;
  g_music.current = n;
  g_music.slots[n].repeat = 1;
  return true;
}

bool StopMusic(int32_t n) {
  if (!Send("stop " + Alias(n))) return false;
  g_music.current = 0;
  return true;
}

bool PauseMusic(int32_t n) { return Send("pause " + Alias(n)); }

bool ResumeMusic(int32_t n) { return Send("resume " + Alias(n)); }

bool CloseMusic(int32_t n) {
  if (!Send("stop " + Alias(n))) return false;
  if (!Send("close " + Alias(n))) return false;
  g_music.current = 0;
  return true;
}

void CloseAllMusic() {
  for (int32_t n = 0; n < kMusicSlotCount; ++n)
    if (g_music.slots[n].loaded) CloseMusic(n);
  MciCloseAll();
  g_music = MusicState{};
}

void ResetMusicState() {
  MciCloseAll();
  g_music = MusicState{};
}

void ChooseMusicDevices() {}

// Only tracks that play are paused, and only those are resumed: one the program paused stays so.
void PauseAllMusic() {
  for (MusicSlot& s : g_music.slots) {
    s.pausedByFocus = 0;
    if (s.loaded && s.playing && !s.paused && PauseMusic(int32_t(&s - g_music.slots))) s.pausedByFocus = 1;
  }
}

void ResumeAllMusic() {
  for (MusicSlot& s : g_music.slots) {
    if (!s.pausedByFocus) continue;
    s.pausedByFocus = 0;
    ResumeMusic(int32_t(&s - g_music.slots));
  }
}

void PollMusicStatus() {
  const int32_t n = g_music.current;
  if (n == 0) return;
  if (++g_music.pollCounter <= 10) return;
  g_music.pollCounter = 0;
  MusicSlot& s = g_music.slots[n];
  const std::string alias = Alias(n);
  if (!SendForReply("status " + alias + " position")) return;
  s.position = TextToInt(g_music.reply.c_str());
  const bool ended = s.cdTrack == 0 ? s.position >= s.length : s.position != s.cdTrack;
  if (!ended || !Send("stop " + alias)) return;
  if (s.repeat == 0) {
    s.playing = 0;
    return;
  }
  if (!Send("close " + alias) || !Send(s.openCommand)) return;
  if (!s.setCommand.empty() && !Send(s.setCommand)) return;
  Send(s.playCommand);
}
