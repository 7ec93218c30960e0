// Compressed .x files ("tzip" and "bzip"): after the 16-byte header, a u32 total size (the
// header included), then blocks of u16 uncompressed size, u16 compressed size (counting the
// "CK" that starts the data), "CK" and a raw deflate stream that may refer back into the last
// 32 KB of what the blocks before it gave. One inflater runs through all the blocks and keeps
// its window between them, so a block costs in proportion to its own size: a flood of empty
// blocks does not copy 32 KB of dictionary each.
#include <zlib.h>

#include <cstring>

#include "model/xfile/compressed.h"
#include "platform/stop_request.h"

namespace {

// Largest file image a compressed file may expand to.
constexpr uint32_t kMaxInflatedBytes = uint32_t(1) << 30;

uint32_t Le16(const char* p) { return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8; }

struct Inflater {
  z_stream z{};
  bool ready = false;
  ~Inflater() {
    if (ready) inflateEnd(&z);
  }
};

}  // namespace

bool InflateXFile(std::string_view bytes, std::string* out, std::string* why) {
  auto fail = [&](const char* cause) {
    *why = cause;
    out->clear();
    return false;
  };
  if (bytes.size() < 20) return fail("the compressed data has no size");
  const uint32_t total = Le16(&bytes[16]) | Le16(&bytes[18]) << 16;
  if (total < 16 || total > kMaxInflatedBytes) return fail("the compressed data gives an impossible size");
  // The header as the plain form of the same encoding.
  out->assign(bytes.substr(0, 16));
  std::memcpy(&(*out)[8], bytes.substr(8, 4) == "tzip" ? "txt " : "bin ", 4);
  Inflater inf;
  if (inflateInit2(&inf.z, -MAX_WBITS) != Z_OK) return fail("out of memory");
  inf.ready = true;
  for (size_t at = 20; at < bytes.size();) {
    if (StopSignalReceived()) return fail("the read was stopped");
    if (bytes.size() - at < 6) return fail("a compressed block is cut short");
    const uint32_t size = Le16(&bytes[at]), packed = Le16(&bytes[at + 2]);
    if (packed < 2 || packed > bytes.size() - at - 4) return fail("a compressed block is longer than the file");
    if (bytes[at + 4] != 'C' || bytes[at + 5] != 'K') return fail("a compressed block lacks its signature");
    if (size > total - out->size()) return fail("the compressed blocks give more than the file's size");
    const size_t from = out->size();
    out->resize(from + size);
    // A new stream that still sees the window of what the blocks before it gave.
    if (inflateResetKeep(&inf.z) != Z_OK) return fail("a compressed block is damaged");
    inf.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + at + 6));
    inf.z.avail_in = packed - 2;
    inf.z.next_out = reinterpret_cast<Bytef*>(out->data() + from);
    inf.z.avail_out = size;
    // Not Z_FINISH: with it, a block inflated whole in one call leaves the window unfilled.
    const int r = inflate(&inf.z, Z_NO_FLUSH);
    if (r != Z_STREAM_END || inf.z.avail_out != 0) return fail("a compressed block is damaged");
    at += 4 + packed;
  }
  if (out->size() != total) return fail("the compressed blocks give less than the file's size");
  return true;
}
