// The 3D texture list's nodes and their holder.
#include "scene3d/texture_list.h"

#include "display/record_pools.h"
#include "display/textures.h"

namespace {

bool TextureListed(int32_t t) {
  return t > 0 && g_texturePool.InUse(uint32_t(t)) && g_texturePool[uint32_t(t)].listNode >= 0;
}
void DropTexture(int32_t t, bool force) { ReleaseTexture(t, force); }

}  // namespace

SceneTextureServices g_sceneTextures{TextureListed, DropTexture};

TextureListNode::~TextureListNode() {
  // The rest of the chain goes with this node; walked in a loop, not by recursion.
  TextureListNode* n = next;
  next = nullptr;
  while (n) {
    TextureListNode* after = n->next;
    n->next = nullptr;
    delete n;
    n = after;
  }
}

void TextureListNode::AppendListNode(TextureListNode* node) {
  if (!node) return;
  TextureListNode* last = this;
  while (last->next) last = last->next;
  last->next = node;
  node->previous = last;
}

void TextureListNode::UnlinkListNode() {
  if (previous) previous->next = next;
  if (next) next->previous = previous;
  previous = next = nullptr;
  delete this;
}

void TextureListHolder::ReleaseOwnedObject() {
  delete first;
  first = nullptr;
}
