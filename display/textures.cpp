// Textures: containers, size and format choice, shared textures by name, image textures.
#include "display/textures.h"

#include <algorithm>

#include "core/pack.h"
#include "display/display.h"
#include "display/imagefiles/file_bytes.h"
#include "display/imagefiles/image_files.h"
#include "display/images.h"
#include "display/record_pools.h"
#include "platform/fs.h"

TextureBank g_textures;

void ResetTextureBank() { g_textures = TextureBank{}; }

namespace {

Device3D* Device() { return g_display.device.get(); }

bool SameFormat(const PixelFormat& a, const PixelFormat& b) {
  return a.bits == b.bits && a.redMask == b.redMask && a.greenMask == b.greenMask && a.blueMask == b.blueMask;
}

std::unique_ptr<TextureContainer>& ContainerSlot(uint32_t t) {
  if (g_textures.containers.size() <= t) g_textures.containers.resize(size_t(t) + 1);
  if (!g_textures.containers[t]) g_textures.containers[t] = std::make_unique<TextureContainer>();
  return g_textures.containers[t];
}

// A new texture record with an empty container (0 when the pool is full).
uint32_t NewTexture() {
  const uint32_t t = AllocTextureRecord();
  if (t == kNoRecord) return 0;
  g_texturePool[t].listNode = -1;
  ContainerSlot(t) = std::make_unique<TextureContainer>();
  return t;
}

void FreeTexture(uint32_t t) {
  if (t < g_textures.containers.size() && g_textures.containers[t]) g_textures.containers[t]->Release();
  FreeTextureRecord(t);
}

void EnterInList(uint32_t t, const std::string& name) {
  g_texturePool[t].listNode = int32_t(g_textures.list.size());
  g_textures.list.push_back(TextureNode{t, name, 1});
}

TextureNode* NodeOf(uint32_t t) {
  if (!g_texturePool.InUse(t)) return nullptr;
  const int32_t n = g_texturePool[t].listNode;
  return n >= 0 && size_t(n) < g_textures.list.size() && g_textures.list[size_t(n)].record == t
             ? &g_textures.list[size_t(n)]
             : nullptr;
}

// The record's fields after its container was made from an image of the bank.
void NoteSource(uint32_t t, uint32_t image, int32_t w, int32_t h, bool transparency) {
  TextureRecord& rec = g_texturePool[t];
  TextureContainer* c = TextureAt(t);
  rec.image = int32_t(image);
  rec.sourceWidth = w;
  rec.sourceHeight = h;
  rec.textureWidth = c->Width();
  rec.textureHeight = c->Height();
  rec.transparency = transparency;
  rec.mipmapped = c->Mipmapped();
}

// Loads a file into a container the way its ending asks: bitmaps keyed, the rest as image files.
bool LoadInto(TextureContainer* c, const std::string& path) {
  if (ImageFileExtension(path) == "bmp") return c->LoadFromBitmapFile(path, true);
  return c->LoadFromImageFile(path) == 0;
}

}  // namespace

void FitTextureSize(int32_t* w, int32_t* h) {
  auto round = [](int32_t v) {
    for (int32_t p = 2; p <= 512; p *= 2)
      if (v <= p) return p;
    return 1024;
  };
  // The device reports no minimum size: both sides are raised to 16.
  *w = std::max(16, round(*w));
  *h = std::max(16, round(*h));
  *w = *h = std::max(*w, *h);
}

PixelFormat ChooseTextureFormat(const PixelFormat& wanted, bool allowExact) {
  const std::vector<PixelFormat> formats = Device() ? Device()->TextureFormats() : CreateNullDevice()->TextureFormats();
  if (allowExact)
    for (const PixelFormat& f : formats)
      if (SameFormat(f, wanted)) return f;
  const int32_t bits = wanted.bits ? wanted.bits : 16;
  PixelFormat chosen = FormatForDepth(16);
  for (const PixelFormat& f : formats) {
    if (f.bits < 8) continue;
    chosen = f;
    if (f.bits == bits) break;
  }
  return chosen;
}

// ---- The container.

int32_t TextureContainer::Width() const { return levels_.levels.empty() ? (surface_ ? surface_->Width() : 0) : levels_.Width(); }
int32_t TextureContainer::Height() const { return levels_.levels.empty() ? (surface_ ? surface_->Height() : 0) : levels_.Height(); }

bool TextureContainer::CreateFromSurface(const Surface& src, bool colourKey, bool transparency, bool avoidSourceFormat) {
  int32_t w = src.Width(), h = src.Height();
  FitTextureSize(&w, &h);
  const PixelFormat format = ChooseTextureFormat(src.Format(), !avoidSourceFormat);
  SurfacePtr s = SurfaceCreate(w, h, format);
  if (!s) {
    Release();
    return false;
  }
  // Stretched over the whole texture (the source may be a keyed surface: copied as it is).
  Surface* from = const_cast<Surface*>(&src);
  if (SurfaceBlt(s.get(), nullptr, from, nullptr, 0) != kSurfOk) {
    Release();
    return false;
  }
  Release();
  surface_ = std::move(s);
  format_ = format;
  keyed_ = colourKey;
  if (keyed_) {
    surface_->hasKey = true;
    surface_->key = 0;  // black in every format
  }
  if (transparency) ConvertToDxt1();
  return Preload();
}

int32_t TextureContainer::LoadFromImageFile(const std::string& path) {
  Release();
  if (ImageFileExtension(path) == "dds") {
    std::string data;
    DdsImage dds;
    if (!ReadImageFile(path, data) || !ReadDds(data, false, &dds)) return -1;
    levels_ = std::move(dds);
    format_ = FormatForDepth(32);
    keyed_ = false;
    return Preload() ? 0 : -1;
  }
  SurfacePtr s = LoadImageByExtension(path, g_display.depth);
  if (!s) return -1;
  format_ = ChooseTextureFormat(s->Format(), true);
  surface_ = std::move(s);
  keyed_ = false;
  return Preload() ? 0 : -1;
}

bool TextureContainer::LoadFromBitmapFile(const std::string& path, bool colourKey) {
  SurfacePtr loaded = LoadImageByExtension(path, g_display.depth);
  if (!loaded) {
    Release();
    return false;
  }
  return CreateFromSurface(*loaded, colourKey, false, false);
}

bool TextureContainer::CreateScreenFormat(uint32_t rgb) {
  int32_t w = 32, h = 32;
  FitTextureSize(&w, &h);
  const PixelFormat format = ChooseTextureFormat(FormatForDepth(g_display.depth), true);
  SurfacePtr s = SurfaceCreate(w, h, format);
  if (!s) {
    Release();
    return false;
  }
  SurfaceFill(s.get(), nullptr, PixelFromRgb(format, rgb));
  Release();
  surface_ = std::move(s);
  format_ = format;
  keyed_ = false;
  return Preload();
}

bool TextureContainer::BlitInto(const Surface& src, int32_t w, int32_t h) {
  if (!surface_) return true;
  const SurfRect from{0, 0, std::min(w, src.Width()), std::min(h, src.Height())};
  if (from.Width() < 1 || from.Height() < 1) return false;
  if (SurfaceBlt(surface_.get(), nullptr, const_cast<Surface*>(&src), &from, 0) != kSurfOk) return false;
  levels_ = DdsImage{};
  return Preload();
}

bool TextureContainer::ConvertToDxt1() {
  if (!surface_) return false;
  DdsImage dxt;
  if (!MakeDxtImage(*surface_, 1, 1, keyed_, &dxt)) return false;
  levels_ = std::move(dxt);
  return Preload();
}

bool TextureContainer::CompressWithMipmaps(int digit) {
  if (!surface_) return false;
  DdsImage dxt;
  if (!MakeDxtImage(*surface_, digit, 5, keyed_, &dxt)) return false;  // the texture stays as it was
  levels_ = std::move(dxt);
  return Preload();
}

std::vector<TextureLevel> TextureContainer::Texels() const {
  std::vector<TextureLevel> out;
  if (!levels_.levels.empty()) {
    for (size_t k = 0; k < levels_.levels.size(); ++k) {
      Picture p = DdsLevelPicture(levels_, k);
      out.push_back(TextureLevel{p.width, p.height, std::move(p.pixels)});
    }
    return out;
  }
  if (!surface_) return out;
  // The texture's own precision, widened for the device; keyed texels see-through.
  TextureLevel level{surface_->Width(), surface_->Height(), {}};
  level.texels.reserve(size_t(level.width) * size_t(level.height));
  for (int32_t y = 0; y < level.height; ++y)
    for (int32_t x = 0; x < level.width; ++x) {
      const uint32_t p = surface_->GetPixel(x, y);
      const bool clear = keyed_ && p == surface_->key;
      level.texels.push_back((clear ? 0u : 0xFF000000u) | ExpandPixelToRgb(format_, p));
    }
  out.push_back(std::move(level));
  return out;
}

bool TextureContainer::Preload() {
  Device3D* d = Device();
  if (d && handle_) d->ReleaseTexture(handle_);
  handle_ = 0;
  if (!d) return surface_ || !levels_.levels.empty();
  handle_ = d->CreateTexture(Texels());
  return handle_ != 0;
}

uint32_t TextureContainer::Handle() {
  if (!handle_ && Device() && (surface_ || !levels_.levels.empty())) Preload();
  return handle_;
}

void TextureContainer::Release() {
  if (Device() && handle_) Device()->ReleaseTexture(handle_);
  handle_ = 0;
  surface_.reset();
  levels_ = DdsImage{};
  keyed_ = false;
}

// ---- Records.

TextureContainer* TextureAt(uint32_t t) {
  if (!g_texturePool.InUse(t) || t >= g_textures.containers.size()) return nullptr;
  return g_textures.containers[t].get();
}

int32_t AcquireImageTexture(uint32_t image, int32_t colourKey) { return AcquireImageTextureEx(image, colourKey, 0); }

int32_t AcquireImageTextureEx(uint32_t image, int32_t colourKey, int32_t transparency) {
  ImageRecord* img = ImageAt(image);
  if (!img) return 0;
  if (img->texture > 0 && transparency == 0 && NodeOf(uint32_t(img->texture))) {
    ++NodeOf(uint32_t(img->texture))->references;
    return img->texture;
  }
  Surface* s = ImageSurfaceOf(image);
  const uint32_t t = NewTexture();
  if (!t) return 0;
  if (!s || !TextureAt(t)->CreateFromSurface(*s, colourKey == 1, transparency == 1, false)) {
    FreeTexture(t);
    return 0;
  }
  img = ImageAt(image);
  NoteSource(t, image, img->width, img->height, transparency == 1);
  EnterInList(t, "");
  img->texture = int32_t(t);
  return int32_t(t);
}

void RefreshImageTexture(uint32_t image, int32_t colourKey, int32_t transparency) {
  ImageRecord* img = ImageAt(image);
  if (!img || img->texture <= 0) return;
  const uint32_t t = uint32_t(img->texture);
  TextureContainer* c = TextureAt(t);
  Surface* s = ImageSurfaceOf(image);
  if (!c || !s) return;
  TextureRecord& rec = g_texturePool[t];
  if (img->width == rec.sourceWidth && img->height == rec.sourceHeight && transparency == rec.transparency) {
    c->BlitInto(*s, img->width, img->height);
    if (rec.transparency) c->ConvertToDxt1();
    return;
  }
  c->CreateFromSurface(*s, colourKey == 1, transparency == 1, false);
  NoteSource(t, image, img->width, img->height, transparency == 1);
}

bool LoadTextureFileForRecord(uint32_t t, const std::string& file) {
  TextureContainer* c = TextureAt(t);
  if (!c) return false;
  std::string tries[2] = {file, file};
  if (file.size() >= 3) tries[1] = file.substr(0, file.size() - 3) + "dds";
  for (const std::string& name : tries) {
    std::string mapped = name;
    if (g_packReader && name.size() >= 3 && g_packReader->MapVirtualFileByBaseName(mapped, PackedCopyExtension(name))) {
      if (LoadInto(c, mapped)) return true;
      continue;
    }
    const std::string inFolder = ImageTextureFolder() + name;
    if (FsFileExists(inFolder) && LoadInto(c, inFolder)) return true;
  }
  return false;
}

int32_t LoadTextureByName(const std::string& file) {
  const bool absolute = !file.empty() && (file[0] == '/' || file[0] == '\\' || (file.size() > 1 && file[1] == ':'));
  const std::string name = absolute ? file : FsCurrentFolder() + "/" + file;
  for (TextureNode& node : g_textures.list)
    if (!node.name.empty() && node.references > 0 && FsEqualsNoCase(node.name, name)) {
      ++node.references;
      return int32_t(node.record);
    }
  const uint32_t t = NewTexture();
  if (!t) return 0;
  if (!LoadTextureFileForRecord(t, file)) {
    FreeTexture(t);
    return 0;
  }
  TextureContainer* c = TextureAt(t);
  TextureRecord& rec = g_texturePool[t];
  rec.textureWidth = c->Width();
  rec.textureHeight = c->Height();
  rec.mipmapped = c->Mipmapped();
  EnterInList(t, name);
  return int32_t(t);
}

int32_t LoadColorTexture(uint32_t colour) {
  const std::string name = std::to_string(colour);
  for (TextureNode& node : g_textures.list)
    if (node.references > 0 && node.name == name) {
      ++node.references;
      return int32_t(node.record);
    }
  const uint32_t t = NewTexture();
  if (!t) return 0;
  if (!TextureAt(t)->CreateScreenFormat(colour)) {
    FreeTexture(t);
    return 0;
  }
  g_texturePool[t].textureWidth = TextureAt(t)->Width();
  g_texturePool[t].textureHeight = TextureAt(t)->Height();
  EnterInList(t, name);
  return int32_t(t);
}

int32_t ReloadTextureSlot(uint32_t t, int digit) {
  if (TextureContainer* c = TextureAt(t)) {
    if (c->CompressWithMipmaps(digit)) g_texturePool[t].mipmapped = c->Mipmapped();
  }
  return 0;
}

int32_t CreateTextureSlotDefault(uint32_t t) {
  TextureContainer* c = TextureAt(t);
  if (!c) return 1;
  // Made again from its own picture, keyed, in a format searched for.
  const std::vector<TextureLevel> texels = c->Texels();
  if (texels.empty()) return 1;
  SurfacePtr own = SurfaceCreate(texels[0].width, texels[0].height, 32);
  if (!own) return 1;
  for (int32_t y = 0; y < own->Height(); ++y)
    for (int32_t x = 0; x < own->Width(); ++x)
      own->PutPixel(x, y, texels[0].texels[size_t(y) * size_t(own->Width()) + size_t(x)] & 0xFFFFFF);
  c->CreateFromSurface(*own, true, false, true);
  return 1;
}

void ReleaseTexture(int32_t texture, bool force) {
  if (texture <= 0) return;
  const uint32_t t = uint32_t(texture);
  TextureNode* node = NodeOf(t);
  if (!node) return;
  if (--node->references > 0 && !force) return;
  node->references = 0;
  node->name.clear();
  g_texturePool[t].listNode = -1;
  // The list keeps no dead nodes at its end.
  while (!g_textures.list.empty() && g_textures.list.back().references == 0) g_textures.list.pop_back();
  const int32_t image = g_texturePool[t].image;
  if (image > 0) {
    if (ImageRecord* img = ImageAt(uint32_t(image)); img && img->texture == texture) img->texture = 0;
  }
  FreeTexture(t);
}

void ReleaseTextureRecordSurfaces(uint32_t t) {
  if (TextureContainer* c = TextureAt(t)) c->Release();
}

void ReleaseAllTextureSurfaces() {
  for (auto& c : g_textures.containers)
    if (c) c->ForgetDevice();
}

void DetachImageTexture(uint32_t image) {
  const ImageRecord* img = ImageAt(image);
  if (!img || img->texture <= 0) return;
  if (g_texturePool.InUse(uint32_t(img->texture)) && g_texturePool[uint32_t(img->texture)].image == int32_t(image))
    g_texturePool[uint32_t(img->texture)].image = 0;
}
