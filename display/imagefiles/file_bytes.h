#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Whole image files in memory, and bounds-checked reads of their fields.

// Largest image file read: a picture of the largest size at 32 bits with its mip levels.
inline constexpr size_t kMaxImageFileBytes = size_t(384) << 20;

// Reads a regular file of at most kMaxImageFileBytes into out (name resolved by the path
// layer). Devices, FIFOs, folders and larger files give false without being read, with the
// cause in *why when given.
bool ReadImageFile(const std::string& name, std::string& out, std::string* why = nullptr);

// A view of file bytes; every read outside it answers 0 and marks the view bad.
class ByteView {
 public:
  ByteView(const void* data, size_t size) : p_(static_cast<const uint8_t*>(data)), n_(size) {}
  explicit ByteView(const std::string& s) : ByteView(s.data(), s.size()) {}
  size_t Size() const { return n_; }
  const uint8_t* Data() const { return p_; }
  bool Has(size_t at, size_t len) const { return at <= n_ && len <= n_ - at; }
  uint8_t U8(size_t at) const { return Has(at, 1) ? p_[at] : Bad(); }
  uint32_t Le16(size_t at) const { return Has(at, 2) ? uint32_t(p_[at]) | uint32_t(p_[at + 1]) << 8 : Bad(); }
  uint32_t Le32(size_t at) const {
    return Has(at, 4) ? uint32_t(p_[at]) | uint32_t(p_[at + 1]) << 8 | uint32_t(p_[at + 2]) << 16 |
                            uint32_t(p_[at + 3]) << 24
                      : Bad();
  }
  uint32_t Be16(size_t at) const { return Has(at, 2) ? uint32_t(p_[at]) << 8 | uint32_t(p_[at + 1]) : Bad(); }
  uint32_t Be32(size_t at) const { return Has(at, 4) ? Be16(at) << 16 | Be16(at + 2) : Bad(); }
  bool bad() const { return bad_; }

 private:
  uint8_t Bad() const {
    bad_ = true;
    return 0;
  }
  const uint8_t* p_;
  size_t n_;
  mutable bool bad_ = false;
};

// One channel of a bit-mask pixel (BMP bit fields, uncompressed DDS), widened to 8 bits: a
// channel of fewer bits is repeated down to 8, one of more keeps its top 8.
struct MaskChannel {
  int32_t shift = 0, width = 0;
  explicit MaskChannel(uint32_t mask = 0);
  // The channel of pixel p; `none` when the mask is empty.
  uint32_t Get(uint32_t p, uint32_t none = 0) const;
};

// Appends little-endian fields to a file being written.
inline void PutLe(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(char(v >> (8 * i)));
}
