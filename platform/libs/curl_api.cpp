#include "platform/libs/curl_api.h"

#include <cstring>

#include "platform/libs/shared_library.h"

CurlApi g_curl;

namespace {

SharedLibrary g_curlLibrary(VK_SONAME_CURL);

// Resolves the functions of one library of the table; answers the first one missing.
const char* Bind(const char* lib, void* handle) {
#define VK_BIND(part, name) \
  if (std::strcmp(lib, #part) == 0 && !BindFunction(handle, #name, &g_curl.name)) return #name;
  VK_CURL_FUNCTIONS(VK_BIND)
#undef VK_BIND
  return nullptr;
}

}  // namespace

bool OpenCurl(std::string* why) {
  return g_curlLibrary.Open([](void* h) { return Bind("curl", h); }, why);
}
