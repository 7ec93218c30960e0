#pragma once
// libtiff (TIFF image files): the functions called, in a table filled when the library is first opened.
// Callers open it before their first call and go through the table.
#include <string>

#include <tiffio.h>

#define VK_TIFF_FUNCTIONS(X) \
  X(tiff, TIFFClientOpenExt) \
  X(tiff, TIFFClose) \
  X(tiff, TIFFGetField) \
  X(tiff, TIFFGetStrileByteCount) \
  X(tiff, TIFFGetStrileOffset) \
  X(tiff, TIFFIsTiled) \
  X(tiff, TIFFNumberOfStrips) \
  X(tiff, TIFFNumberOfTiles) \
  X(tiff, TIFFOpenOptionsAlloc) \
  X(tiff, TIFFOpenOptionsFree) \
  X(tiff, TIFFOpenOptionsSetErrorHandlerExtR) \
  X(tiff, TIFFOpenOptionsSetMaxSingleMemAlloc) \
  X(tiff, TIFFOpenOptionsSetWarningHandlerExtR) \
  X(tiff, TIFFRGBAImageOK) \
  X(tiff, TIFFReadRGBAImageOriented)

struct TiffApi {
#define VK_SLOT(lib, name) decltype(&::name) name = nullptr;
  VK_TIFF_FUNCTIONS(VK_SLOT)
#undef VK_SLOT
};
extern TiffApi g_tiff;

// Opens the library once per process; false, with the reason in *why, when it
// cannot be loaded or lacks a function. Safe from any thread.
bool OpenTiff(std::string* why = nullptr);
