// Sound is not built yet: no engine, so every service has nothing to do.
#include "sound/commands/sound_services.h"

void ResetSoundState() {}
void ChooseMusicDevices() {}
bool InitSoundEngine() { return false; }
void InitSoundListener() {}
void PauseAllAudio() {}
void ResumeAllAudio() {}
void CloseAllMusic() {}
void FreeAllSounds() {}
void ShutdownSound() {}
int SoundFrameHook() { return 1; }
void UpdateSound3D() {}
void PollMusicStatus() {}
