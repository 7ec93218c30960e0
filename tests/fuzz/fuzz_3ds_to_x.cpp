// 3DS files converted to X text and to .x objects (as objects load them): any bytes must
// convert, and both must load into a model. What converts without a cause is no damage to the
// .x loader, and its load gives a model with a frame or mesh, or none with the cause.
#include <cstdint>
#include <string>
#include <string_view>

#include "model/convert3ds/writer_x.h"
#include "model/model_textures.h"
#include "model/x_loader.h"
#include "model/xfile/damage.h"

namespace {

// A tree with something in it, or none with the cause.
void CheckLoad(const XFile& file) {
  uint32_t frames;
  std::unique_ptr<AnimSet> animation;
  std::string why;
  const std::unique_ptr<FrameNode> root = LoadXTree(file, &frames, &animation, &why);
  if (root ? !root->firstChild : why.empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_modelTextures.byName = [](const std::string&) { return 0; };
  g_modelTextures.byColour = [](uint32_t) { return 0; };
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string why;
  const std::string text = Convert3dsBytesToX(bytes, {}, &why);
  XFile file;
  const XReadResult read = ParseXFile(text, file);
  if (why.empty() && (!read.ok() || !FirstXDamage(file.objects).empty())) __builtin_trap();
  CheckLoad(file);
  XFile objects;
  if (Convert3dsBytesToXFile(bytes, &objects)) {
    if (!FirstXDamage(objects.objects).empty()) __builtin_trap();
    CheckLoad(objects);
  } else if (!objects.objects.empty()) {
    __builtin_trap();
  }
  return 0;
}
