// 3DS files converted to X text and to .x objects (as objects load them): any bytes must
// convert, and both must load into a model.
#include <cstdint>
#include <string>
#include <string_view>

#include "model/convert3ds/writer_x.h"
#include "model/model_textures.h"
#include "model/x_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_modelTextures.byName = [](const std::string&) { return 0; };
  g_modelTextures.byColour = [](uint32_t) { return 0; };
  const std::string text = Convert3dsBytesToX(std::string_view(reinterpret_cast<const char*>(data), size));
  XFile file;
  ParseXFile(text, file);
  uint32_t frames;
  std::unique_ptr<AnimSet> animation;
  LoadXTree(file, &frames, &animation);
  XFile objects;
  Convert3dsBytesToXFile(std::string_view(reinterpret_cast<const char*>(data), size), &objects);
  LoadXTree(objects, &frames, &animation);
  return 0;
}
