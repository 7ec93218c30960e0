// Static-world files are outside data: any bytes are either refused or give a world that draws
// within its arrays and saves back into the same bytes up to the end marker.
#include <cstdint>
#include <string>

#include "platform/device3d.h"
#include "platform/math3d.h"
#include "scene3d/static/static_world.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<StaticTextureGroup> groups;
  std::vector<StaticBox> boxes;
  if (!DecodeStaticWorld(bytes, &groups, &boxes)) return 0;
  ResetStaticWorld();
  ReserveStaticWorld(kStaticDefaultVertices);
  g_staticWorld.groups = std::move(groups);
  g_staticWorld.boxes = std::move(boxes);
  const std::string again = EncodeStaticWorld();
  std::vector<StaticTextureGroup> g2;
  std::vector<StaticBox> b2;
  if (!again.empty() && !DecodeStaticWorld(again, &g2, &b2)) __builtin_trap();
  for (auto& g : g_staticWorld.groups) g.texture = 0;  // no texture bank here
  float identity[16], projection[16];
  SetMatrixIdentity(identity);
  BuildProjectionMatrix(projection, 1.08f, 0.75f, 1.0f, 3000.0f);
  Device3DPtr device = CreateNullDevice();
  RenderStaticWorld(*device, identity, identity, projection, 3000.0f);
  const float start[3] = {0, 0, 0}, end[3] = {100, 10, 50};
  float out[3];
  TestLineAgainstStaticBoxes(start, end, 1.0f, 1.0f, out);
  ResetStaticWorld();
  return 0;
}
