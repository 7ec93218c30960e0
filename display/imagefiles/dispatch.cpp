#include <algorithm>
#include <cctype>
#include <cerrno>
#include <iterator>

#include "core/errors.h"
#include "display/imagefiles/dds.h"
#include "display/imagefiles/file_bytes.h"
#include "display/imagefiles/formats.h"
#include "display/imagefiles/image_files.h"
#include "platform/fs.h"

namespace {

std::string g_textureFolder;

using Decoder = bool (*)(const std::string&, PictureSink&);
struct Reader {
  const char* ext;
  Decoder decode;
};
const Reader kReaders[] = {{"jpg", DecodeJpeg}, {"bmp", DecodeBmp}, {"rle", DecodeBmp}, {"dib", DecodeBmp},
                           {"psd", DecodePsd},  {"pcx", DecodePcx}, {"tga", DecodeTga}, {"dds", DecodeDds},
                           {"png", DecodePng},  {"tif", DecodeTiff}};
const char* const kWritten[] = {"jpg", "bmp", "rle", "dib", "tga", "dds", "png"};

bool Written(const std::string& ext) {
  return std::any_of(std::begin(kWritten), std::end(kWritten), [&](const char* w) { return ext == w; });
}

}  // namespace

std::string ImageFileExtension(const std::string& name) {
  if (name.size() < 3) return "";
  std::string ext = name.substr(name.size() - 3);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool IsDdsFileName(const std::string& name) { return ImageFileExtension(name) == "dds"; }

void SetImageTextureFolder(const std::string& folder) { g_textureFolder = folder; }
const std::string& ImageTextureFolder() { return g_textureFolder; }

bool LoadPictureFromMemory(const std::string& data, const std::string& ext, PictureSink& sink) {
  for (const Reader& r : kReaders)
    if (ext == r.ext) return r.decode(data, sink);
  return false;
}

SurfacePtr LoadImageFromMemory(const std::string& data, const std::string& ext, int32_t depth) {
  SurfaceSink sink(depth);
  if (!LoadPictureFromMemory(data, ext, sink)) return nullptr;
  return sink.Take();
}

SurfacePtr LoadImageByExtension(const std::string& path, int32_t depth, std::string* why) {
  const std::string ext = ImageFileExtension(path);
  auto fail = [&](const std::string& cause) {
    if (why) *why = cause;
    return nullptr;
  };
  const bool known = std::any_of(std::begin(kReaders), std::end(kReaders), [&](const Reader& r) { return ext == r.ext; });
  // A folder, device or FIFO holds no picture whatever its name says.
  if (!known && !FsFileExists(path) && FsPathExists(path)) return fail("not a regular file");
  if (!known) {
    // The longer spellings of the endings that are read.
    std::string tail = path.size() >= 5 ? path.substr(path.size() - 5) : "";
    for (char& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (tail == ".jpeg") return fail("only .jpg is read");
    if (tail == ".tiff") return fail("only .tif is read");
    return fail("not a supported format");
  }
  std::string data;
  bool read = ReadImageFile(path, data, why);
  if (!read && ext == "dds" && !g_textureFolder.empty()) read = ReadImageFile(g_textureFolder + path, data);
  if (!read) return nullptr;
  ForgetPictureTooLarge();
  SurfaceSink sink(depth);
  SurfacePtr s = LoadPictureFromMemory(data, ext, sink) ? sink.Take() : nullptr;
  if (!s && PictureWasTooLarge())
    return fail("too large: a picture has at most " + std::to_string(kMaxPictureSide) + " pixels a side and " +
                std::to_string(kMaxPicturePixels >> 20) + "M pixels");
  if (!s) return fail(sink.memoryRanOut ? kNoMemoryToLoad : "damaged, or not a ." + ext + " picture");
  return s;
}

bool EncodeImage(const Surface& s, const std::string& ext, std::string* out) {
  if (!Written(ext)) return false;
  if (ext == "dds") {
    DdsImage img;
    return MakeDxtImage(s, 1, 5, false, &img) && WriteDds(img, out);
  }
  const Picture p = PictureOfSurface(s);
  if (ext == "jpg") return EncodeJpeg(p, 100, out);
  if (ext == "tga") return EncodeTga(p, out);
  if (ext == "png") return EncodePng(p, out);
  return EncodeBmp(p, out);
}

bool SaveImageByExtension(const Surface& s, const std::string& path, std::string* why, bool replace) {
  auto fail = [&](const std::string& cause) {
    if (why) *why = cause;
    return false;
  };
  const std::string ext = ImageFileExtension(path);
  std::string data;
  if (!EncodeImage(s, ext, &data)) return fail(Written(ext) ? "the picture cannot be encoded" : "not a format that is written");
  errno = 0;
  if (replace) {
    if (FsWriteFileAtomic(path, data)) return true;
    return fail(FsProgramWriteCause(path, errno));
  }
  // A file made under the name since the save was asked for is kept: the picture is linked to
  // the name only where nothing is there.
  switch (FsWriteNewFile(FsResolveForWrite(path), data, FsNewFileAccess())) {
    case FsNewFile::kWritten: return true;
    case FsNewFile::kTaken: {
      const std::string cause = FsProgramWriteCause(path, EEXIST);
      return fail(cause == "is a folder" || cause == "not a regular file" ? cause : "already exists");
    }
    default: return fail(FsProgramWriteCause(path, errno));
  }
}
