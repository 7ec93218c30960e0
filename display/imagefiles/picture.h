#pragma once
#include <cstdint>
#include <vector>

#include "platform/surfaces.h"

// Decoded pictures travel row by row as 0x00RRGGBB words (the top byte is ignored) from a
// format reader to a sink: a new surface of the display's format, or a plain buffer.

// Largest picture any reader accepts: 16384 a side and 64 M pixels.
inline constexpr int32_t kMaxPictureSide = 16384;
inline constexpr int64_t kMaxPicturePixels = int64_t(64) << 20;
// A size refused for being over those limits is noted for the thread's current load (see
// PictureWasTooLarge), so that the load can say so rather than call the file damaged.
bool PictureSizeOk(int64_t width, int64_t height);
// Clears the note of the thread's last refused size; then true once a size over the limits
// was refused.
void ForgetPictureTooLarge();
bool PictureWasTooLarge();

class PictureSink {
 public:
  virtual ~PictureSink() = default;
  // Called once, with a size that passed PictureSizeOk; false stops the reader.
  virtual bool Begin(int32_t width, int32_t height) = 0;
  // Row y (0 = top), width words; rows may come in any order.
  virtual void Row(int32_t y, const uint32_t* rgb) = 0;
  // Where a reader that makes 5-6-5 pixels itself may put row y, when the sink keeps them
  // (nullptr otherwise: rows come through Row).
  virtual uint8_t* Row565(int32_t) { return nullptr; }
  // Set when the picture could not have the memory it needs (in the sink or the reader), so
  // that a failure is not taken for damage.
  bool memoryRanOut = false;
};

// Converts 0x00RRGGBB to pixels of one format (truncating each channel to its width).
class RowConverter {
 public:
  explicit RowConverter(const PixelFormat& format);
  void Convert(const uint32_t* rgb, int32_t count, uint8_t* out) const;

 private:
  int32_t bits_;
  int32_t shift_[3], width_[3];  // red, green, blue: position and width of each field
};

// The sink of loaders: a new surface of the given depth.
class SurfaceSink : public PictureSink {
 public:
  explicit SurfaceSink(int32_t depth) : format_(FormatForDepth(depth)), convert_(format_) {}
  bool Begin(int32_t width, int32_t height) override;
  void Row(int32_t y, const uint32_t* rgb) override;
  uint8_t* Row565(int32_t y) override;
  SurfacePtr Take() { return std::move(surface_); }

 private:
  PixelFormat format_;
  RowConverter convert_;
  SurfacePtr surface_;
};

// A picture kept whole, 0x00RRGGBB, rows top-down.
struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

class PictureBuffer : public PictureSink {
 public:
  bool Begin(int32_t width, int32_t height) override;
  void Row(int32_t y, const uint32_t* rgb) override;
  Picture picture;
};

// Feeds a whole picture to a sink; false when the sink refused it.
bool SendPicture(const Picture& picture, PictureSink& sink);
// The pixels of a surface as 0x00RRGGBB rows (5 and 6-bit channels widened exactly).
Picture PictureOfSurface(const Surface& s);
