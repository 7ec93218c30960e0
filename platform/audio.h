#pragma once
// Sound output and capture over SDL's audio devices, as rings. The output device plays a
// looping ring of 16-bit stereo frames that the caller keeps writing just behind the play
// position; the capture device writes into a looping ring the caller reads behind the write
// position. Locks hold the ring against the device's thread until the matching unlock.
#include <cstdint>
#include <string>
#include <vector>

// Names of the output (or capture) devices SDL lists.
std::vector<std::string> AudioDeviceNames(bool capture);

// Opens an output device (null: the default) for 16-bit stereo at the rate, paused, without a
// ring. False with a message when no device can be opened.
bool AudioOutputOpen(const char* device, int rate, std::string* error);
// Gives the output a zeroed ring of the byte size (a multiple of 4); the play position restarts.
bool AudioOutputSetRing(uint32_t bytes);
void AudioOutputPlay(bool on);
// Bytes played from the ring since it was set.
uint64_t AudioOutputPosition();
bool AudioOutputLock(uint32_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
                     uint32_t* l2);
void AudioOutputUnlock();
void AudioOutputClose();

// Opens a capture device (null: the default) for signed 8- or 16-bit data of 1 or 2 channels at
// the rate, capturing at once into a zeroed ring of the byte size.
bool AudioCaptureOpen(const char* device, int rate, int bits, int channels, uint32_t ringBytes,
                      std::string* error);
// Bytes captured into the ring since it was opened.
uint64_t AudioCapturePosition();
bool AudioCaptureLock(uint32_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
                      uint32_t* l2);
void AudioCaptureUnlock();
void AudioCaptureClose();
