#pragma once
// Builders of .3ds file images, chunk by chunk.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace fx3ds {

inline std::string U16(uint16_t v) { return {char(v & 0xFF), char(v >> 8)}; }
inline std::string U32(uint32_t v) { return U16(uint16_t(v)) + U16(uint16_t(v >> 16)); }
inline std::string F(std::initializer_list<float> fs) {
  std::string s;
  for (float f : fs) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    s += U32(b);
  }
  return s;
}
inline std::string Z(const std::string& text) { return text + std::string(1, '\0'); }
inline std::string Chunk(uint16_t id, const std::string& body) { return U16(id) + U32(uint32_t(body.size() + 6)) + body; }
inline std::string Main(const std::string& editor, const std::string& keyframer = {}) {
  return Chunk(0x4D4D, Chunk(0x0002, U32(3)) + Chunk(0x3D3D, editor) + (keyframer.empty() ? "" : Chunk(0xB000, keyframer)));
}
inline std::string Node(const std::string& name, uint16_t parent, const std::string& extra = {}) {
  return Chunk(0xB002, Chunk(0xB010, Z(name) + U16(0) + U16(0) + U16(parent)) + extra);
}
inline std::string TrackHead(uint16_t keys) { return U16(0) + U32(0) + U32(0) + U16(keys) + U16(0); }
// A position or scale key (no spline flags).
inline std::string VecKey(uint16_t frame, float x, float y, float z) { return U16(frame) + U32(0) + F({x, y, z}); }
inline std::string RotKey(uint16_t frame, float angle, float x, float y, float z) {
  return U16(frame) + U32(0) + F({angle, x, y, z});
}

}  // namespace fx3ds
