#pragma once
#include <cstdint>
#include <string>

#include "display/imagefiles/picture.h"
#include "platform/surfaces.h"

// Image files chosen by the last three characters of their name, without regard to case:
// read "jpg", "bmp", "rle", "dib", "psd", "pcx", "tga", "dds", "png" and "tif"; written
// "jpg", "bmp", "rle", "dib", "tga", "dds" (DXT1 with mip levels) and "png".

// The name's last three characters in lower case ("" for a shorter name).
std::string ImageFileExtension(const std::string& name);
bool IsDdsFileName(const std::string& name);

// A new surface of the given depth holding the file's picture, or nullptr (unknown ending,
// missing or unreadable file, bad data) with the cause in *why when given. Names of DDS files
// not found as given are tried in the texture folder.
SurfacePtr LoadImageByExtension(const std::string& path, int32_t depth, std::string* why = nullptr);
// The same from the file's bytes; ext is a lower-case extension as above.
SurfacePtr LoadImageFromMemory(const std::string& data, const std::string& ext, int32_t depth);
bool LoadPictureFromMemory(const std::string& data, const std::string& ext, PictureSink& sink);

// Writes the surface in the format of the name's ending through a temporary file renamed
// into place. False, with nothing written, for an ending without a writer or a failed write
// (the old file stays), with the cause in *why when given.
// With replace false the file is only made new, never written over ("already exists").
bool SaveImageByExtension(const Surface& s, const std::string& path, std::string* why = nullptr, bool replace = true);
// The file's bytes for the ending (false for an ending without a writer).
bool EncodeImage(const Surface& s, const std::string& ext, std::string* out);

// The folder that DDS names not found as given are tried in ("" none).
void SetImageTextureFolder(const std::string& folder);
const std::string& ImageTextureFolder();
