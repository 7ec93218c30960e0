#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/imagefiles/dds.h"
#include "display/records.h"
#include "platform/device3d.h"
#include "platform/surfaces.h"

// Textures for the 3D side, made from images, image files and colours. Each lives in a
// record of the texture pool with its picture in a container, and in the texture list under
// a name with a reference count, so a file or colour is loaded once and shared. The device
// gets each texture's texels when the texture is made or refilled (PreloadTexture).

// The picture of one texture: an uncompressed surface, or the DXT or mip levels of a file.
class TextureContainer {
 public:
  bool CreateFromSurface(const Surface& source, bool colourKey, bool transparency, bool avoidSourceFormat);
  // Any image file; DDS files keep their format and mip levels. 0 on success, -1 failure.
  int32_t LoadFromImageFile(const std::string& path);
  bool LoadFromBitmapFile(const std::string& path, bool colourKey);
  // A texture of the fitted 32 x 32 in the screen's format, filled with 0x00RRGGBB.
  bool CreateScreenFormat(uint32_t rgb);
  // Stretches width x height of the source over the whole texture.
  bool BlitInto(const Surface& source, int32_t width, int32_t height);
  bool ConvertToDxt1();
  // A DXT copy with up to five mip levels (as many as the size allows).
  bool CompressWithMipmaps(int digit);
  bool Preload();
  bool Restore() const { return true; }
  void Release();
  // The device went away: its handle is no longer valid.
  void ForgetDevice() { handle_ = 0; }
  // The device's handle of the texture, given to the device again when it lost it (0 none).
  uint32_t Handle();
  int32_t Width() const;
  int32_t Height() const;
  const PixelFormat& Format() const { return format_; }
  bool Mipmapped() const { return levels_.levels.size() > 1; }
  int Digit() const { return levels_.levels.empty() ? 0 : levels_.Digit(); }
  // The device's texels of each level (alpha 0 where keyed or transparent).
  std::vector<TextureLevel> Texels() const;

 private:
  SurfacePtr surface_;
  DdsImage levels_;  // a loaded DDS file or a compressed copy; empty when the surface holds it
  PixelFormat format_{};
  bool keyed_ = false;
  uint32_t handle_ = 0;
};

// A node of the texture list: the texture's record, its name ("" for image textures, which
// no look-up finds) and its reference count.
struct TextureNode {
  uint32_t record = 0;
  std::string name;
  int32_t references = 0;
};

struct TextureBank {
  std::vector<std::unique_ptr<TextureContainer>> containers;  // by texture record
  std::vector<TextureNode> list;                                // in order of entry
};
extern TextureBank g_textures;
void ResetTextureBank();

// Size fitting: powers of two (at most 1024), at least 16, square.
void FitTextureSize(int32_t* width, int32_t* height);
// The texture format for a wanted one among the device's formats.
PixelFormat ChooseTextureFormat(const PixelFormat& wanted, bool allowExact);

TextureContainer* TextureAt(uint32_t texture);
int32_t AcquireImageTexture(uint32_t image, int32_t colourKey);
// A new reference to the image's texture, made on first use; with transparency 1 always a
// new texture converted to DXT1 (keyed texels transparent).
int32_t AcquireImageTextureEx(uint32_t image, int32_t colourKey, int32_t transparency);
// After a grab: the texture takes the image's new picture (made again when the size or the
// transparency changed).
void RefreshImageTexture(uint32_t image, int32_t colourKey, int32_t transparency);
// Shared textures of a file (tried as given and with "dds" for its ending, in the pack and
// in the texture folder) and of a colour; 0 when they cannot be made.
int32_t LoadTextureByName(const std::string& file);
int32_t LoadColorTexture(uint32_t colour);
bool LoadTextureFileForRecord(uint32_t texture, const std::string& file);
// Compresses the texture to DXT of the digit with mip levels (the 3D texture-mode commands).
int32_t ReloadTextureSlot(uint32_t texture, int digit);
int32_t CreateTextureSlotDefault(uint32_t texture);
// Drops one reference; the last one (or force) frees the texture.
void ReleaseTexture(int32_t texture, bool force);
void ReleaseTextureRecordSurfaces(uint32_t texture);
// The device is going (display change): every texture loses its device copy.
void ReleaseAllTextureSurfaces();
// The image's record is going: its texture stays for those that use it, without the image.
void DetachImageTexture(uint32_t image);
