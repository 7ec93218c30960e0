#pragma once
#include <cstdint>
#include <string>

// How model loading gets its textures: shared textures by file name and one-colour textures.
// Both answer a texture number above 0, or 0 (or below) when none could be had. The display's
// texture bank serves them; tests may put their own in place.
struct ModelTextureLoader {
  int32_t (*byName)(const std::string& file) = nullptr;
  int32_t (*byColour)(uint32_t colour) = nullptr;
  void (*release)(int32_t texture) = nullptr;
};
extern ModelTextureLoader g_modelTextures;
// Puts the display's texture bank back in place.
void UseDisplayTextures();

// A texture a model file names: tried in the folder of the model being loaded first, then as
// given.
int32_t LoadModelTexture(const std::string& file);
int32_t LoadModelColourTexture(uint32_t colour);
void ReleaseModelTexture(int32_t texture);
