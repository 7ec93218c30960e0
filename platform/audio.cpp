// SDL audio devices as rings (see audio.h).
#include "platform/audio.h"

#include "platform/libs/sdl_api.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace {

struct Ring {
  SDL_AudioDeviceID device = 0;
  std::mutex mutex;  // guards the bytes against the device thread
  std::vector<uint8_t> bytes;
  std::atomic<uint64_t> position{0};
  std::atomic<bool> playing{false};
};

Ring g_out;
Ring g_in;

void OutputCallback(void*, Uint8* stream, int len) {
  std::lock_guard<std::mutex> lock(g_out.mutex);
  size_t size = g_out.bytes.size();
  if (!g_out.playing.load() || size == 0) {
    std::memset(stream, 0, size_t(len));
    return;
  }
  uint64_t pos = g_out.position.load();
  for (size_t done = 0; done < size_t(len);) {
    size_t at = size_t((pos + done) % size);
    size_t n = std::min(size - at, size_t(len) - done);
    std::memcpy(stream + done, g_out.bytes.data() + at, n);
    done += n;
  }
  g_out.position.store(pos + uint64_t(len));
}

void CaptureCallback(void*, Uint8* stream, int len) {
  std::lock_guard<std::mutex> lock(g_in.mutex);
  size_t size = g_in.bytes.size();
  if (size == 0) return;
  uint64_t pos = g_in.position.load();
  for (size_t done = 0; done < size_t(len);) {
    size_t at = size_t((pos + done) % size);
    size_t n = std::min(size - at, size_t(len) - done);
    std::memcpy(g_in.bytes.data() + at, stream + done, n);
    done += n;
  }
  g_in.position.store(pos + uint64_t(len));
}

bool LockRing(Ring& r, uint32_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
              uint32_t* l2) {
  r.mutex.lock();
  size_t size = r.bytes.size();
  if (size == 0) {
    r.mutex.unlock();
    *p1 = *p2 = nullptr;
    *l1 = *l2 = 0;
    return false;
  }
  if (length > size) length = uint32_t(size);
  size_t at = offset % size;
  *p1 = r.bytes.data() + at;
  if (at + length > size) {
    *l1 = uint32_t(size - at);
    *p2 = r.bytes.data();
    *l2 = length - *l1;
  } else {
    *l1 = length;
    *p2 = nullptr;
    *l2 = 0;
  }
  return true;
}

bool OpenDevice(Ring& r, const char* device, bool capture, const SDL_AudioSpec& want,
                std::string* error) {
  if (!OpenSdl(error)) return false;
  if (g_sdl.SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    if (error) *error = g_sdl.SDL_GetError();
    return false;
  }
  SDL_AudioSpec have{};
  r.device = g_sdl.SDL_OpenAudioDevice(device, capture ? 1 : 0, &want, &have, 0);
  if (r.device == 0) {
    if (error) *error = g_sdl.SDL_GetError();
    g_sdl.SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  return true;
}

void CloseDevice(Ring& r) {
  if (r.device == 0) return;
  g_sdl.SDL_CloseAudioDevice(r.device);  // waits for the device thread to leave its callback
  r.device = 0;
  g_sdl.SDL_QuitSubSystem(SDL_INIT_AUDIO);
  std::lock_guard<std::mutex> lock(r.mutex);
  r.bytes.clear();
  r.bytes.shrink_to_fit();
  r.position.store(0);
  r.playing.store(false);
}

}  // namespace

std::vector<std::string> AudioDeviceNames(bool capture) {
  std::vector<std::string> names;
  if (!OpenSdl() || g_sdl.SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return names;
  int n = g_sdl.SDL_GetNumAudioDevices(capture ? 1 : 0);
  for (int i = 0; i < n && i < 256; i++) {
    const char* name = g_sdl.SDL_GetAudioDeviceName(i, capture ? 1 : 0);
    names.push_back(name ? name : "");
  }
  g_sdl.SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return names;
}

bool AudioOutputOpen(const char* device, int rate, std::string* error) {
  AudioOutputClose();
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 512;
  want.callback = OutputCallback;
  return OpenDevice(g_out, device, false, want, error);
}

bool AudioOutputSetRing(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(g_out.mutex);
  g_out.bytes.assign(bytes & ~3u, 0);
  g_out.position.store(0);
  return true;
}

void AudioOutputPlay(bool on) {
  if (g_out.device == 0) return;
  g_out.playing.store(on);
  g_sdl.SDL_PauseAudioDevice(g_out.device, on ? 0 : 1);
}

uint64_t AudioOutputPosition() { return g_out.position.load(); }

bool AudioOutputLock(uint32_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
                     uint32_t* l2) {
  return LockRing(g_out, offset, length, p1, p2, l1, l2);
}

void AudioOutputUnlock() { g_out.mutex.unlock(); }

void AudioOutputClose() { CloseDevice(g_out); }

bool AudioCaptureOpen(const char* device, int rate, int bits, int channels, uint32_t ringBytes,
                      std::string* error) {
  AudioCaptureClose();
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = bits == 8 ? AUDIO_S8 : AUDIO_S16SYS;
  want.channels = Uint8(channels);
  want.samples = 512;
  want.callback = CaptureCallback;
  {
    std::lock_guard<std::mutex> lock(g_in.mutex);
    g_in.bytes.assign(ringBytes, 0);
    g_in.position.store(0);
  }
  if (!OpenDevice(g_in, device, true, want, error)) {
    std::lock_guard<std::mutex> lock(g_in.mutex);
    g_in.bytes.clear();
    return false;
  }
  g_in.playing.store(true);
  g_sdl.SDL_PauseAudioDevice(g_in.device, 0);
  return true;
}

uint64_t AudioCapturePosition() { return g_in.position.load(); }

bool AudioCaptureLock(uint32_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
                      uint32_t* l2) {
  return LockRing(g_in, offset, length, p1, p2, l1, l2);
}

void AudioCaptureUnlock() { g_in.mutex.unlock(); }

void AudioCaptureClose() { CloseDevice(g_in); }
