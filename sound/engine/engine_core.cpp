// Engine settings, start-up and close, and the queries of the engine as a whole.
#include <algorithm>

#include "sound/engine/cd/cd_audio.h"
#include "sound/engine/drivers/driver.h"
#include "sound/engine/engine_state.h"
#include "sound/engine/files/sound_file.h"
#include "sound/engine/streams/streams.h"
#include "sound/engine/mixer/mixer.h"
#include "sound/engine/songs.h"

SoundEngineState g_sound;

namespace {

const SoundOutputDriver* DriverForOutput(int32_t type) {
  if (g_sound.driverOverride) return g_sound.driverOverride;
  switch (type) {
    case 1: return RingDriverWave();
    case 2: return RingDriverDirect();
    default: return NoSoundDriver();  // 0, and 3 (a record no output fills) and the rest
  }
}

void SelectOutput(int32_t type) {
  if (type == -1) type = 2;
  if (type != g_sound.outputType || !g_sound.driver) {
    g_sound.outputType = type;
    g_sound.devicesValid = false;
  }
  g_sound.driver = DriverForOutput(type);
}

bool RefuseWhileRunning() {
  if (g_sound.initialised.load()) {
    SetSoundError(kSoundErrInitialised);
    return true;
  }
  return false;
}

void SetUpChannel(SoundChannel& c, int32_t index) {
  c.index = index;
  c.serial = 1;
  c.handle = uint32_t(index);
  c.sample = nullptr;
  c.priority = 0;
  c.frequency = 44100;
  c.volume = 255;
  c.pan = 128;
  c.mute = c.paused = c.surround = c.reserved = c.absoluteVolume = c.inSongList = false;
  c.spareInUse = false;
  c.ops->stop(&c);
  c.ops->setVolume(&c, 255);
  c.ops->setFrequency(&c, 44100);
  c.ops->setPan(&c, 128);
}

bool CreateMixBuffer() {
  SoundSample* s = SoundSampleCreate(kSoundUnlisted, kSoundHardware3D | kSoundOwnBuffer);
  if (!s) return false;
  s->name = "VIZUDA Primary MixBuffer";
  s->bits = 16;
  s->layout = kSoundStereo;
  s->loopMode = kSoundLoopNormal;
  s->length = uint32_t(g_mixer.ringLength);
  s->loopLength = s->length;
  s->defaultFrequency = g_sound.mixRate;
  s->defaultPan = -1;
  s->playOwnBuffer = true;
  s->hardware3D = false;
  g_sound.mixBuffer = s;
  return s->ops->alloc(s);
}

}  // namespace

// ---- settings ----

bool SoundSetOutput(int32_t type) {
  ApiEnter();
  EngineLock lock;
  if (RefuseWhileRunning()) return false;
  SelectOutput(type);
  return true;
}

bool EnumerateOutputDevices() {
  if (!g_sound.driver) return false;
  if (g_sound.devicesValid && !g_sound.deviceNames.empty()) return true;
  g_sound.deviceNames.clear();
  g_sound.driver->enumerate();
  g_sound.devicesValid = true;
  return true;
}

bool SoundSetDriver(int32_t index) {
  ApiClearError();
  EngineLock lock;
  if (RefuseWhileRunning()) return false;
  if (!g_sound.driver) SelectOutput(g_sound.outputType);
  if (!EnumerateOutputDevices()) {
    SetSoundError(kSoundErrUninitialised);
    return false;
  }
  if (index >= 0 && index < int32_t(g_sound.deviceNames.size())) {
    g_sound.deviceIndex = index;
  } else {
    SelectOutput(0);
  }
  return true;
}

bool SoundSetMixer(int32_t type) {
  ApiClearError();
  EngineLock lock;
  if (RefuseWhileRunning()) return false;
  if (type < 0 || type > 8) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  g_sound.mixerType = std::max(type, 4);
  return true;
}

bool SoundSetBufferSize(int32_t ms) {
  ApiClearError();
  EngineLock lock;
  if (RefuseWhileRunning()) return false;
  ms = std::max(ms, 50);
  ms -= ms % 25;
  g_sound.bufferSetting = std::min(ms, 10000) * 2;
  return true;
}

bool SoundSetWindowHandle(void* window) {
  ApiClearError();
  EngineLock lock;
  if (RefuseWhileRunning()) return false;
  g_sound.window = window;
  return true;
}

static bool SetHardwareLimit(int32_t* field, int32_t count) {
  ApiEnter();
  EngineLock lock;
  if (RefuseWhileRunning()) return false;
  if (count < 0) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  *field = count;
  return true;
}

bool SoundSetMinHardwareChannels(int32_t count) {
  return SetHardwareLimit(&g_sound.minHardwareChannels, count);
}

bool SoundSetMaxHardwareChannels(int32_t count) {
  return SetHardwareLimit(&g_sound.maxHardwareChannels, count);
}

void SoundSetMasterVolume(int32_t volume) {
  ApiEnter();
  EngineLock lock;
  g_sound.masterVolume = std::clamp(volume, 0, 255);
  if (!g_sound.initialised.load()) return;
  for (int32_t i = 0; i < g_sound.channelCount; i++) {
    SoundChannel& c = g_sound.channels[size_t(i)];
    if (c.sample && !c.sample->songOwned && !c.absoluteVolume) SoundSetChannelVolume(i, c.volume);
  }
}

void SoundSetPanSeparation(float separation) {
  ApiEnter();
  EngineLock lock;
  g_sound.panSeparation = std::clamp(separation, 0.0f, 1.0f);
}

// ---- start and close ----

bool SoundInit(int32_t rate, int32_t softwareChannels, uint32_t flags) {
  ApiEnter();
  if (softwareChannels < 1 || softwareChannels > 4095 || rate < 4000 || rate > 192000) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  SoundClose();
  EngineLock lock;
  g_sound.initialised.store(false);
  SetOwnerThread();
  g_sound.lastError.store(kSoundOk);
  g_sound.softwareChannels = softwareChannels;
  g_sound.mixRate = rate;
  g_sound.initFlags = flags;

  SelectOutput(g_sound.outputType);
  g_sound.hardwareMixing = true;
  g_sound.emulated = false;
  g_sound.hardwareChannels = 0;
  int32_t fallbackError = kSoundOk;
  if (!g_sound.driver->init(rate)) {
    if (g_sound.driver == NoSoundDriver()) return false;
    // No device: the engine goes on silently on the no-sound output, keeping the device's error.
    fallbackError = g_sound.lastError.load();
    g_sound.driverOverride = nullptr;
    SelectOutput(0);
    g_sound.hardwareMixing = true;
    g_sound.hardwareChannels = 0;
    if (!g_sound.driver->init(rate)) return false;
  }
  if (g_sound.hardwareChannels > 0 && g_sound.driver->probeReverb() && g_sound.outputType == 2) {
    g_sound.hardwareChannels--;
  }
  g_sound.hardwareChannels = std::min(g_sound.hardwareChannels, g_sound.maxHardwareChannels);
  if (g_sound.hardwareChannels < g_sound.minHardwareChannels) g_sound.hardwareChannels = 0;
  if (g_sound.hardwareChannels < 1) g_sound.hardwareMixing = false;

  if (g_sound.bufferSetting == -1) {
    int32_t ms = g_sound.emulated ? 200 : g_sound.driver->defaultBufferMs;
    g_sound.bufferSetting = ms * 2;
  }
  if (!MixerInit(rate)) return false;
  SongRetimeAll();

  g_sound.channelCount = g_sound.hardwareChannels + softwareChannels;
  g_sound.samples.assign(256, nullptr);
  g_sound.channels.clear();
  g_sound.channels.resize(size_t(g_sound.channelCount) + 1);
  for (int32_t i = 0; i <= g_sound.channelCount; i++) {
    SoundChannel& c = g_sound.channels[size_t(i)];
    c.next = c.prev = &c;
    if (i < softwareChannels) {
      c.ops = SoftwareChannelOps();
    } else {
      g_sound.driver->installChannelOps(&c);
    }
    SetUpChannel(c, i);
  }
  g_sound.softwareRange = {0, softwareChannels - 1, 0};
  g_sound.hardwareRange = {softwareChannels, g_sound.channelCount - 1, softwareChannels};

  if (!CreateMixBuffer()) return false;
  SoundChannel& mc = g_sound.mixBufferChannel;
  mc.next = mc.prev = &mc;
  g_sound.driver->installChannelOps(&mc);
  mc.index = kSoundMixBufferChannel;
  mc.handle = uint32_t(kSoundMixBufferChannel);

  g_sound.initialised.store(true);
  if (SoundPlayOnChannel(nullptr, kSoundMixBufferChannel, g_sound.mixBuffer, false) == -1) {
    g_sound.initialised.store(false);
    return false;
  }
  mc.reserved = true;
  if (!g_sound.driver->pumped) MixerStartThread();
  Sound3DUpdate();
  StreamsStart();
  g_sound.lastError.store(fallbackError);
  return true;
}

void SoundClose() {
  ApiClearError();
  CloseRecording();
  SongStopAll();
  CdClose();
  {
    EngineLock lock;
    if (g_sound.initialised.load()) {
      g_sound.devicesValid = false;
      g_sound.bufferSetting = -1;
    }
    for (SoundChannel& c : g_sound.channels) StopChannelRecord(&c);
  }
  StreamStopAll();
  MixerStopThread();
  EngineLock lock;
  SoundChannel& mc = g_sound.mixBufferChannel;
  if (mc.ops && mc.sample) mc.ops->stop(&mc);
  mc.sample = nullptr;
  g_sound.initialised.store(false);
  if (g_sound.mixBuffer) {
    if (g_sound.mixBuffer->ops) g_sound.mixBuffer->ops->free(g_sound.mixBuffer);
    delete g_sound.mixBuffer;
    g_sound.mixBuffer = nullptr;
  }
  for (SoundSample*& s : g_sound.samples) {
    if (!s) continue;
    SoundSample* doomed = s;
    s = nullptr;
    doomed->index = kSoundUnlisted;
    SoundSampleFree(doomed);
  }
  g_sound.samples.clear();
  g_sound.samples.shrink_to_fit();
  if (g_sound.driver) g_sound.driver->close();
  g_sound.channels.clear();
  g_sound.channels.shrink_to_fit();
  g_sound.channelCount = g_sound.softwareChannels = g_sound.hardwareChannels = 0;
  g_sound.deviceNames.clear();
  g_sound.devicesValid = false;
  g_sound.recordDeviceNames.clear();
}

void SoundEngineReset() {
  SoundClose();
  EngineLock lock;
  g_sound.outputType = -1;
  g_sound.driver = nullptr;
  g_sound.mixerType = 4;
  g_sound.deviceIndex = -1;
  g_sound.mixRate = 44100;
  g_sound.bufferSetting = -1;
  g_sound.maxHardwareChannels = 99999;
  g_sound.minHardwareChannels = 0;
  g_sound.masterVolume = 255;
  g_sound.panSeparation = 1.0f;
  g_sound.window = nullptr;
  g_sound.initFlags = 0;
  g_sound.fileProcs = {};
  g_sound.reverb = {};
  g_sound.lastError.store(kSoundOk);
  ResetListener();
  ResetRecordDevice();
  CdReset();
  SoundFilesReset();
}

// ---- queries ----

int32_t SoundGetOutput() {
  ApiEnter();
  return g_sound.outputType;
}

bool SoundOutputAudible() {
  ApiEnter();
  EngineLock lock;
  return g_sound.initialised.load() && g_sound.driver && g_sound.driver != NoSoundDriver();
}

int32_t SoundGetMixer() {
  ApiEnter();
  return g_sound.mixerType;
}

int32_t SoundGetNumDrivers() {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.driver) SelectOutput(g_sound.outputType);
  if (!EnumerateOutputDevices()) {
    SetSoundError(kSoundErrUninitialised);
    return 0;
  }
  return int32_t(g_sound.deviceNames.size());
}

const char* SoundGetDriverName(int32_t index) {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.driver) SelectOutput(g_sound.outputType);
  EnumerateOutputDevices();
  if (index < 0) index = 0;
  if (index >= int32_t(g_sound.deviceNames.size())) {
    SetSoundError(kSoundErrInvalidParam);
    return nullptr;
  }
  return g_sound.deviceNames[size_t(index)].c_str();
}

bool SoundGetDriverCaps(int32_t index, uint32_t* caps) {
  ApiClearError();
  EngineLock lock;
  if (RefuseWhileRunning()) return false;
  if (!g_sound.driver) SelectOutput(g_sound.outputType);
  EnumerateOutputDevices();
  if (!caps || index < 0 || index >= int32_t(g_sound.deviceNames.size())) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  *caps = 0;
  g_sound.driver->getCaps(caps, index);
  return true;
}

int32_t SoundGetMixRate() {
  ApiEnter();
  return g_sound.mixRate;
}

int32_t SoundGetMasterVolume() {
  ApiEnter();
  return g_sound.masterVolume;
}

int32_t SoundGetMaxChannels() {
  ApiEnter();
  return g_sound.channelCount;
}

int32_t SoundGetNumHardwareChannels() {
  ApiEnter();
  return g_sound.hardwareChannels;
}

int32_t SoundGetMaxSamples() {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.initialised.load()) {
    SetSoundError(kSoundErrUninitialised);
    return 0;
  }
  return int32_t(g_sound.samples.size());
}

int32_t SoundGetError() { return g_sound.lastError.load(); }

int32_t SoundGetBufferSetting() { return g_sound.bufferSetting; }

// ---- reverb values ----

static bool ReverbReady() {
  ApiEnter();
  if (!g_sound.initialised.load()) {
    SetSoundError(kSoundErrUninitialised);
    return false;
  }
  return true;
}

bool SoundSetReverb(int32_t environment, float volume, float decay, float damping) {
  if (!ReverbReady()) return false;
  EngineLock lock;
  SoundReverbValues& r = g_sound.reverb;
  r.environment = environment;
  r.volume = volume;
  r.decay = decay;
  r.damping = damping;
  return true;
}

template <typename T>
static void Put(T* out, T value) {
  if (out) *out = value;
}

bool SoundGetReverb(int32_t* environment, float* volume, float* decay, float* damping) {
  if (!ReverbReady()) return false;
  EngineLock lock;
  const SoundReverbValues& r = g_sound.reverb;
  Put(environment, r.environment);
  Put(volume, r.volume);
  Put(decay, r.decay);
  Put(damping, r.damping);
  return true;
}
