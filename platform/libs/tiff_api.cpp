#include "platform/libs/tiff_api.h"

#include "platform/libs/shared_library.h"

TiffApi g_tiff;

namespace {

SharedLibrary g_tiffLibrary(VK_SONAME_TIFF);

#define VK_BIND_TABLE g_tiff
VK_DEFINE_BINDER(VK_TIFF_FUNCTIONS)

}  // namespace

bool OpenTiff(std::string* why) {
  return g_tiffLibrary.Open([](void* h) { return Bind("tiff", h); }, why);
}
