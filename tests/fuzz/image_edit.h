#pragma once
// Fuzz input for the image readers: with an even first byte the rest is a whole file; with
// an odd one it is a list of edits (two position bytes, one value) made to a valid sample,
// which then is cut to the length the second byte chooses (255: kept whole).
#include <cstddef>
#include <cstdint>
#include <string>

inline std::string EditedSample(const std::string& sample, const uint8_t* data, size_t size) {
  if (size < 1) return sample;
  if (!(data[0] & 1)) return std::string(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string file = sample;
  const uint8_t cut = size > 1 ? data[1] : 255;
  for (size_t i = 2; i + 2 < size && !file.empty(); i += 3) {
    const size_t at = (size_t(data[i]) | size_t(data[i + 1]) << 8) % file.size();
    file[at] = char(data[i + 2]);
  }
  if (cut != 255) file.resize(file.size() * cut / 255);
  return file;
}
