// Sound file formats for SoundSampleLoad: the WAV reader first, then the MPEG audio reader;
// neither accepting the source is error 10, or 11 when one found it damaged.
#include <algorithm>
#include <string>

#include "sound/engine/engine_state.h"
#include "sound/engine/files/sound_loaders.h"

const std::string& SoundErrorDetail() { return SoundFiles().unsupported; }
const std::string& SoundDamageDetail() { return SoundFiles().damage; }

SoundFile* OpenSoundSource(const void* source, uint32_t mode, int32_t length) {
  SoundUserFileProcs procs;
  procs.open = g_sound.fileProcs.open;
  procs.close = g_sound.fileProcs.close;
  procs.read = g_sound.fileProcs.read;
  procs.seek = g_sound.fileProcs.seek;
  procs.tell = g_sound.fileProcs.tell;
  SoundFileSetUserProcs(procs);
  if (mode & kSoundMemory) return SoundFileOpen(source, kSoundFileMemory, (uint32_t)std::max(length, 0));
  return SoundFileOpen(source, kSoundFileDisk, 0);
}

SoundSample* DecodeSoundSource(int32_t index, const void* source, uint32_t mode, int32_t length) {
  SoundFile* file = OpenSoundSource(source, mode, length);
  if (!file) {
    SetSoundError(kSoundErrFileOpen);
    return nullptr;
  }
  SoundFilesBeginLoad();
  SoundFilePcm pcm;
  // A WAV too large to keep is not tried as MPEG audio.
  const bool ok = DecodeWavFileToPcm(file, mode, &pcm) ||
                  (SoundFiles().last_error != kSoundErrMemory && DecodeMpegFileToPcm(file, mode, &pcm));
  if (!ok && SoundFiles().unsupported.empty() && SoundFiles().damage.empty()) SoundFilesNameOtherKind(file);
  SoundFileClose(file);
  if (!ok) {
    SetSoundError(SoundFilesRefusal());
    return nullptr;
  }
  const bool stereo = (pcm.mode & kSoundStereo) != 0;
  SoundSample* s = SoundSampleAlloc(index, pcm.Samples(), pcm.mode, pcm.frequency, 255, stereo ? -1 : 128, 255);
  if (!s) return nullptr;
  s->name = (mode & kSoundMemory) ? std::string("Memory file") : std::string((const char*)source).substr(0, 255);
  // The readers hand over signed data (8-bit WAV data has had its top bit flipped already).
  SoundSampleUpload(s, pcm.data.data(), pcm.mode & ~kSoundUnsigned, (uint32_t)pcm.data.size());
  SoundSampleSetLoopPoints(s, pcm.loop_start, pcm.loop_end);
  if (pcm.loop_from_file) SoundSampleSetLoopMode(s, kSoundLoopNormal);
  return s;
}
