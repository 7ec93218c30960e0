#pragma once
#include <cstdint>
#include <string>

// The 3D texture list: one node per texture loaded by file name (or one-colour texture, named
// by its colour in decimal), so that a second model naming the same file takes a reference on
// the texture already loaded. A node owns the node after it; the holder owns the first.
class TextureListNode {
 public:
  TextureListNode() = default;
  virtual ~TextureListNode();
  TextureListNode(const TextureListNode&) = delete;
  TextureListNode& operator=(const TextureListNode&) = delete;

  // Links node behind the last node of the chain that starts here.
  void AppendListNode(TextureListNode* node);
  // Joins the neighbours around this node, then deletes it (only it: the chain behind is no
  // longer attached). The holder's first pointer is its caller's to update.
  void UnlinkListNode();

  TextureListNode* previous = nullptr;  // not owning
  TextureListNode* next = nullptr;      // owning
  int32_t texture = 0;
  std::string fileName;
  int32_t references = 0;
};

class TextureListHolder {
 public:
  TextureListHolder() = default;
  virtual ~TextureListHolder() { ReleaseOwnedObject(); }
  TextureListHolder(const TextureListHolder&) = delete;
  TextureListHolder& operator=(const TextureListHolder&) = delete;

  // The object whose model is being read (the texture loader reads it).
  void TextureHolderSetObject(int32_t object) { loadingObject = object; }
  // Deletes the whole list.
  void ReleaseOwnedObject();

  TextureListNode* first = nullptr;
  int32_t loadingObject = 0;
};

// What the meshes need of the display's textures: whether a texture is still in the texture
// list, and dropping one reference (the last one, or a forced release, frees it). They are the
// display's texture bank's; tests put their own in place. Unset, meshes leave textures alone.
struct SceneTextureServices {
  bool (*listed)(int32_t texture) = nullptr;
  void (*release)(int32_t texture, bool force) = nullptr;
};
extern SceneTextureServices g_sceneTextures;
