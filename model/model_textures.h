#pragma once
#include <cstdint>
#include <string>

// The one way model code reaches the display's texture bank: shared textures by file name,
// one-colour textures, whether a texture is still in the bank's list, and dropping one
// reference (the last one frees it). Loads answer a texture number above 0, or 0 (or below)
// when none could be had. Tests may put their own functions in place; an unset function does
// nothing (and answers 0 or false). The model subsystem's reset puts the bank back.
struct ModelTextureLoader {
  int32_t (*byName)(const std::string& file) = nullptr;
  int32_t (*byColour)(uint32_t colour) = nullptr;
  bool (*listed)(int32_t texture) = nullptr;
  void (*release)(int32_t texture) = nullptr;
};
extern ModelTextureLoader g_modelTextures;
// Puts the display's texture bank back in place.
void UseDisplayTextures();

// A texture a model file names: tried in the folder of the model being loaded first, then as
// given.
int32_t LoadModelTexture(const std::string& file);
int32_t LoadModelColourTexture(uint32_t colour);
bool ModelTextureListed(int32_t texture);
void ReleaseModelTexture(int32_t texture);
