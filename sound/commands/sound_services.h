#pragma once

// What the runtime core calls of sound and music.
// Sound and music state back to a new process's (nothing plays, nothing is loaded).
void ResetSoundState();
void ChooseMusicDevices();
bool InitSoundEngine();
void InitSoundListener();
void PauseAllAudio();
void ResumeAllAudio();
void CloseAllMusic();
void FreeAllSounds();
void ShutdownSound();
int SoundFrameHook();
void UpdateSound3D();
void PollMusicStatus();
