#include "model/model_textures.h"

#include "display/record_pools.h"
#include "display/textures.h"
#include "model/model_state.h"

namespace {

int32_t ByName(const std::string& file) { return LoadTextureByName(file); }
int32_t ByColour(uint32_t colour) { return LoadColorTexture(colour); }
bool Listed(int32_t t) {
  return t > 0 && g_texturePool.InUse(uint32_t(t)) && g_texturePool[uint32_t(t)].listNode >= 0;
}
void Release(int32_t texture) { ReleaseTexture(texture, false); }

}  // namespace

ModelTextureLoader g_modelTextures{ByName, ByColour, Listed, Release};

void UseDisplayTextures() { g_modelTextures = ModelTextureLoader{ByName, ByColour, Listed, Release}; }

int32_t LoadModelTexture(const std::string& file) {
  if (!g_modelTextures.byName) return 0;
  if (!g_model.modelFolder.empty()) {
    const int32_t t = g_modelTextures.byName(g_model.modelFolder + file);
    if (t > 0) return t;
  }
  return g_modelTextures.byName(file);
}

int32_t LoadModelColourTexture(uint32_t colour) {
  return g_modelTextures.byColour ? g_modelTextures.byColour(colour) : 0;
}

bool ModelTextureListed(int32_t texture) {
  return texture > 0 && g_modelTextures.listed && g_modelTextures.listed(texture);
}

void ReleaseModelTexture(int32_t texture) {
  if (texture > 0 && g_modelTextures.release) g_modelTextures.release(texture);
}
