#include "platform/midi_synth.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/libs/fluidsynth_api.h"

struct MidiRenderer {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_player_t* player = nullptr;
  std::string path;
  std::string song;  // the file's bytes, when opened from memory (path is then empty)
  std::string font;  // the SoundFont the synthesiser loaded
  int32_t rate = 0;
};

namespace {

bool IsFile(const char* path) {
  struct stat st;
  return path && *path && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// FluidSynth's own messages would go to the terminal; the caller reports failures itself.
void Quiet(int, const char*, void*) {}

void SilenceLogs() {
  static bool done = false;
  if (done) return;
  done = true;
  for (int level = 0; level < LAST_LOG_LEVEL; ++level) g_fluid.fluid_set_log_function(level, Quiet, nullptr);
}

// Synthesisers of closed renderers, SoundFont loaded, kept for the next open at the same rate:
// making one costs a SoundFont load and some memory the library never gives back. At most as
// many are kept as were ever open at once, up to the bound.
constexpr size_t kMaxIdleSynths = 32;
std::mutex g_idleLock;
// Never destroyed: the synthesisers stay for the process's life, reachable to its end (a static
// list's destructor would run before the library's, or leave them unreachable).
std::vector<MidiRenderer*>& g_idle = *new std::vector<MidiRenderer*>;

MidiRenderer* TakeIdle(const std::string& font, int32_t rate) {
  std::lock_guard<std::mutex> hold(g_idleLock);
  for (size_t k = 0; k < g_idle.size(); ++k) {
    MidiRenderer* m = g_idle[k];
    if (m->font != font || m->rate != rate) continue;
    g_idle.erase(g_idle.begin() + std::ptrdiff_t(k));
    return m;
  }
  return nullptr;
}

void Destroy(MidiRenderer* m) {
  if (m->synth) g_fluid.delete_fluid_synth(m->synth);
  if (m->settings) g_fluid.delete_fluid_settings(m->settings);
  delete m;
}

bool StartPlayer(MidiRenderer* m) {
  if (m->player) g_fluid.delete_fluid_player(m->player);
  m->player = g_fluid.new_fluid_player(m->synth);
  if (!m->player) return false;
  const int added = m->path.empty() ? g_fluid.fluid_player_add_mem(m->player, m->song.data(), m->song.size())
                                    : g_fluid.fluid_player_add(m->player, m->path.c_str());
  if (added != FLUID_OK) return false;
  return g_fluid.fluid_player_play(m->player) == FLUID_OK;
}

}  // namespace

std::string MidiFindSoundFont() {
  const char* chosen = std::getenv("VK_SOUNDFONT");
  if (IsFile(chosen)) return chosen;
  for (const char* path : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
                           "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/soundfonts/default.sf2"})
    if (IsFile(path)) return path;
  return "";
}

namespace {

// Opens the song of a file (path) or of bytes in memory (song, path empty).
MidiRenderer* Open(const std::string& path, const std::string& song, int32_t rate, std::string* error) {
  if (!OpenFluidSynth(error)) return nullptr;
  SilenceLogs();
  const std::string font = MidiFindSoundFont();
  if (font.empty()) {
    if (error) *error = "no General MIDI SoundFont installed";
    return nullptr;
  }
  if (path.empty() ? song.compare(0, 4, "MThd") != 0 : !g_fluid.fluid_is_midifile(path.c_str())) {
    if (error) *error = "not a MIDI file";
    return nullptr;
  }
  MidiRenderer* m = TakeIdle(font, rate);
  bool ok = m != nullptr;
  if (!m) {
    m = new MidiRenderer;
    m->font = font;
    m->rate = rate;
    m->settings = g_fluid.new_fluid_settings();
    ok = m->settings != nullptr;
    if (ok) {
      g_fluid.fluid_settings_setnum(m->settings, "synth.sample-rate", double(rate));
      g_fluid.fluid_settings_setnum(m->settings, "synth.gain", 1.0);
      g_fluid.fluid_settings_setint(m->settings, "synth.threadsafe-api", 1);
      g_fluid.fluid_settings_setint(m->settings, "synth.cpu-cores", 1);
      m->synth = g_fluid.new_fluid_synth(m->settings);
      ok = m->synth && g_fluid.fluid_synth_sfload(m->synth, font.c_str(), 1) != FLUID_FAILED;
    }
  }
  m->path = path;
  m->song = path.empty() ? song : std::string();
  ok = ok && StartPlayer(m);
  if (!ok) {
    if (error) *error = "the synthesiser refused the file";
    MidiClose(m);
    return nullptr;
  }
  return m;
}

}  // namespace

MidiRenderer* MidiOpen(const std::string& path, int32_t rate, std::string* error) {
  return Open(path, std::string(), rate, error);
}

MidiRenderer* MidiOpenSong(const std::string& song, int32_t rate, std::string* error) {
  return Open(std::string(), song, rate, error);
}

void MidiRender(MidiRenderer* m, int16_t* stereo, int32_t frames) {
  if (!m || frames <= 0) return;
  if (g_fluid.fluid_synth_write_s16(m->synth, frames, stereo, 0, 2, stereo, 1, 2) != FLUID_OK)
    std::memset(stereo, 0, size_t(frames) * 4);
}

void MidiRewind(MidiRenderer* m) {
  if (!m) return;
  g_fluid.fluid_player_stop(m->player);
  g_fluid.fluid_synth_system_reset(m->synth);
  StartPlayer(m);
}

void MidiClose(MidiRenderer* m) {
  if (!m) return;
  if (m->player) {
    g_fluid.fluid_player_stop(m->player);
    g_fluid.delete_fluid_player(m->player);
    m->player = nullptr;
  }
  m->song = std::string();  // a kept synthesiser holds no song
  // A synthesiser that loaded its SoundFont is kept, silenced, for the next song.
  if (m->synth && g_fluid.fluid_synth_sfcount(m->synth) > 0) {
    g_fluid.fluid_synth_system_reset(m->synth);
    std::lock_guard<std::mutex> hold(g_idleLock);
    if (g_idle.size() < kMaxIdleSynths) {
      g_idle.push_back(m);
      return;
    }
  }
  Destroy(m);
}
