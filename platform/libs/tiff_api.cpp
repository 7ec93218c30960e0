#include "platform/libs/tiff_api.h"

#include <cstring>

#include "platform/libs/shared_library.h"

TiffApi g_tiff;

namespace {

SharedLibrary g_tiffLibrary(VK_SONAME_TIFF);

// Resolves the functions of one library of the table; answers the first one missing.
const char* Bind(const char* lib, void* handle) {
#define VK_BIND(part, name) \
  if (std::strcmp(lib, #part) == 0 && !BindFunction(handle, #name, &g_tiff.name)) return #name;
  VK_TIFF_FUNCTIONS(VK_BIND)
#undef VK_BIND
  return nullptr;
}

}  // namespace

bool OpenTiff(std::string* why) {
  return g_tiffLibrary.Open([](void* h) { return Bind("tiff", h); }, why);
}
