#pragma once
// A music device: one opened music file (MIDI, WAV or MPEG audio) that plays through a sound
// engine stream, or, while the engine has no output, keeps its position by the clock alone.
#include <cstdint>
#include <memory>
#include <string>

class MusicDevice {
 public:
  // Null when the file cannot be opened or is of no known kind, with the cause in why (when
  // given). hostPath is a resolved path.
  static std::unique_ptr<MusicDevice> Open(const std::string& hostPath, std::string* why = nullptr);
  virtual ~MusicDevice() = default;
  virtual int32_t LengthMs() const = 0;
  virtual int32_t PositionMs() = 0;
  // Plays from a position (-1: where it stands; from the start once it has reached its end).
  virtual bool Play(int32_t fromMs) = 0;
  // Stops and goes back to the start.
  virtual bool Stop() = 0;
  virtual bool Pause() = 0;
  virtual bool Resume() = 0;
};
