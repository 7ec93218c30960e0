// 3D sound: one listener; every software channel's position and velocity become a distance
// gain, a pan and a Doppler-shifted frequency at each update.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/math3d.h"
#include "sound/engine/drivers/driver.h"
#include "sound/engine/engine_state.h"

namespace {

float Length(const float v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

void StoreListenerVectors(const float* position, const float* velocity, const float forward[3],
                          const float top[3]) {
  SoundListener& l = g_sound.listener;
  if (position) std::memcpy(l.position, position, sizeof l.position);
  if (velocity) std::memcpy(l.velocity, velocity, sizeof l.velocity);
  std::memcpy(l.forward, forward, sizeof l.forward);
  std::memcpy(l.top, top, sizeof l.top);
  l.right[0] = l.top[1] * l.forward[2] - l.top[2] * l.forward[1];
  l.right[1] = l.top[2] * l.forward[0] - l.top[0] * l.forward[2];
  l.right[2] = l.top[0] * l.forward[1] - l.top[1] * l.forward[0];
  for (int i = 0; i < 3; i++) l.previous[i] = l.position[i] - l.velocity[i];
}

}  // namespace

void ResetListener() { g_sound.listener = SoundListener{}; }

void Compute3DChannelMix(SoundChannel* c) {
  const SoundSample* s = c->sample;
  if (!s || s->softwareOnly || c->inSongList) return;
  const SoundListener& l = g_sound.listener;
  float prevRel[3], rel[3];
  for (int i = 0; i < 3; i++) {
    prevRel[i] = (c->position[i] - c->velocity[i]) - l.previous[i];
    rel[i] = c->position[i] - l.position[i];
  }
  float prevDistance = Length(prevRel);
  float d = Length(rel);

  float sound = 340.0f / l.distanceScale;
  float factor = (sound - (d - prevDistance) * l.doppler) / sound;
  int32_t frequency = std::max(int32_t(std::trunc(float(c->frequency) * factor)), 100);

  float r = d;
  if (r > s->maxDistance) r = s->maxDistance;
  if (r < s->minDistance) r = s->minDistance;
  if (r > s->minDistance) r = s->minDistance + (r - s->minDistance) * l.rolloff;
  if (r < 0.00001f) r = 0.00001f;
  float gain = std::clamp(s->minDistance / r, 0.0f, 1.0f);
  int32_t volume = int32_t(std::trunc(float(c->volume) * gain));
  if (!c->absoluteVolume) volume = volume * g_sound.masterVolume / 255;

  float dir[3] = {0, 0, 1};
  if (d > 0) {
    for (int i = 0; i < 3; i++) dir[i] = rel[i] / d;
  }
  float dot = dir[0] * l.right[0] + dir[1] * l.right[1] + dir[2] * l.right[2];
  int32_t pan = std::clamp(int32_t(std::trunc(dot * 128.0f)) + 128, 0, 255);

  c->ops->setFrequency(c, frequency);
  c->ops->setVolume(c, volume & 0xFF);
  c->ops->setPan(c, pan);
}

void Sound3DSetListener(const float* position, const float* velocity, float fx, float fy, float fz,
                        float tx, float ty, float tz) {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.initialised.load()) return;
  const float forward[3] = {fx, fy, fz}, top[3] = {tx, ty, tz};
  StoreListenerVectors(position, velocity, forward, top);
  g_sound.driver->setListener(position, velocity, forward, top);
}

void Sound3DGetListener(float* position, float* velocity, float* fx, float* fy, float* fz, float* tx,
                        float* ty, float* tz) {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.initialised.load()) return;
  const SoundListener& l = g_sound.listener;
  if (position) std::memcpy(position, l.position, sizeof l.position);
  if (velocity) std::memcpy(velocity, l.velocity, sizeof l.velocity);
  float* outs[6] = {fx, fy, fz, tx, ty, tz};
  const float values[6] = {l.forward[0], l.forward[1], l.forward[2], l.top[0], l.top[1], l.top[2]};
  for (int i = 0; i < 6; i++) {
    if (outs[i]) *outs[i] = values[i];
  }
}

void Sound3DSetDopplerFactor(float factor) {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.initialised.load()) return;
  g_sound.listener.doppler = factor;
  g_sound.driver->setDopplerFactor(factor);
}

void Sound3DSetDistanceFactor(float unitsPerMetre) {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.initialised.load()) return;
  if (!(unitsPerMetre >= 0.0001f)) unitsPerMetre = 0.0001f;
  g_sound.listener.distanceScale = std::max(1.0f / unitsPerMetre, 0.00001f);
  g_sound.driver->setDistanceFactor(unitsPerMetre);
}

void Sound3DSetRolloffFactor(float factor) {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.initialised.load()) return;
  float clamped = factor;
  if (!(clamped >= 0.00001f)) clamped = 0.00001f;
  if (clamped > 10.0f) clamped = 10.0f;
  g_sound.listener.rolloff = clamped;
  g_sound.driver->setRolloffFactor(factor);
}

void Sound3DUpdate() {
  ApiEnter();
  {
    EngineLock lock;
    if (!g_sound.initialised.load()) return;
    for (int32_t i = g_sound.softwareRange.first; i <= g_sound.softwareRange.last; i++) {
      Compute3DChannelMix(&g_sound.channels[size_t(i)]);
    }
    g_sound.driver->commit3D();
  }
  std::this_thread::yield();
}

void Sound3DVectorsFromAngles(float ax, float ay, float az, float forward[3], float top[3]) {
  const float k = 0.017444445f;  // the engine's degrees-to-radians factor (3.14 / 180)
  float m[16], r[16];
  SetMatrixIdentity(m);
  BuildRotationXMatrix(r, ax * k);
  MultiplyMatrix4x4(m, m, r);
  BuildRotationYMatrix(r, ay * k);
  MultiplyMatrix4x4(m, m, r);
  BuildRotationZMatrix(r, az * k);
  MultiplyMatrix4x4(m, m, r);
  // (0, 0, 1) and (0, 1, 0) as row vectors, without the translation: rows 2 and 1.
  for (int i = 0; i < 3; i++) {
    forward[i] = m[8 + i];
    top[i] = m[4 + i];
  }
}
