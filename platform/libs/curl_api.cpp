#include "platform/libs/curl_api.h"

#include "platform/libs/shared_library.h"

CurlApi g_curl;

namespace {

SharedLibrary g_curlLibrary(VK_SONAME_CURL);

#define VK_BIND_TABLE g_curl
VK_DEFINE_BINDER(VK_CURL_FUNCTIONS)

}  // namespace

bool OpenCurl(std::string* why) {
  return g_curlLibrary.Open([](void* h) { return Bind("curl", h); }, why);
}
