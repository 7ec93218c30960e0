#include "platform/libs/ffmpeg_api.h"

#include "platform/libs/shared_library.h"

FfmpegApi g_ffmpeg;

namespace {

SharedLibrary g_avutilLibrary(VK_SONAME_AVUTIL);
SharedLibrary g_avcodecLibrary(VK_SONAME_AVCODEC);
SharedLibrary g_avformatLibrary(VK_SONAME_AVFORMAT);
SharedLibrary g_swresampleLibrary(VK_SONAME_SWRESAMPLE);
SharedLibrary g_swscaleLibrary(VK_SONAME_SWSCALE);

#define VK_BIND_TABLE g_ffmpeg
VK_DEFINE_BINDER(VK_FFMPEG_FUNCTIONS)

}  // namespace

bool OpenFfmpeg(std::string* why) {
  return g_avutilLibrary.Open([](void* h) { return Bind("avutil", h); }, why) &&
         g_avcodecLibrary.Open([](void* h) { return Bind("avcodec", h); }, why) &&
         g_avformatLibrary.Open([](void* h) { return Bind("avformat", h); }, why) &&
         g_swresampleLibrary.Open([](void* h) { return Bind("swresample", h); }, why) &&
         g_swscaleLibrary.Open([](void* h) { return Bind("swscale", h); }, why);
}
