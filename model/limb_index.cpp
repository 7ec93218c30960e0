// The limb index of a model's tree: built in one walk, grown as limbs are added.
#include "model/limb_index.h"

#include "model/frame_node.h"
#include "model/model_state.h"

namespace {

// Limb numbers far past the count of frames leave the tree to the walks rather than make a
// sparse table of them.
bool NumberFits(uint32_t limb, size_t frames) { return limb < 2 * frames + 1024; }

// Enters the frame; false when its number is taken already or too large, or when one of its
// meshes carries another number (the tree is then not plain).
bool Enter(LimbIndex& index, FrameNode* frame, size_t frames) {
  const uint32_t limb = frame->limbNumber;
  if (!NumberFits(limb, frames)) return false;
  if (limb >= index.frames.size()) index.frames.resize(size_t(limb) + 1, nullptr);
  if (index.frames[limb]) return false;
  index.frames[limb] = frame;
  for (const SceneNode* c = frame->firstChild; c; c = c->nextSibling)
    if (!c->IsFrame() && c->limbNumber != limb) return false;
  return true;
}

// The index of a tree that is not plain: the operations walk it.
void Abandon(LimbIndex& index) {
  index.plain = false;
  index.frames.clear();
  index.rootLast = nullptr;
}

}  // namespace

bool LimbIndexReady(LimbIndex& index, FrameNode* root) {
  if (index.root == root) return index.plain;
  index.root = root;
  index.frames.clear();
  index.rootLast = nullptr;
  index.plain = root != nullptr;
  if (!root) return false;
  for (SceneNode* c = root->firstChild; c; c = c->nextSibling) index.rootLast = c;
  // The frames first, so the table is sized by their count.
  std::vector<FrameNode*> frames{root};
  for (size_t i = 0; i < frames.size(); ++i)
    for (SceneNode* c = frames[i]->firstChild; c; c = c->nextSibling) {
      // Given up on a stop (in a StopEndsWalks scope): the operations walk the tree instead.
      if ((++g_model.nodesVisited & 0x3FFF) == 0 && WalkStopped()) {
        Abandon(index);
        index.root = nullptr;
        return false;
      }
      if (c->IsFrame()) frames.push_back(static_cast<FrameNode*>(c));
    }
  for (FrameNode* f : frames)
    if (!Enter(index, f, frames.size())) {
      Abandon(index);
      break;
    }
  return index.plain;
}

FrameNode* IndexedFrame(const LimbIndex& index, uint32_t limb) {
  return limb < index.frames.size() ? index.frames[limb] : nullptr;
}

void AddFrameUnderRoot(LimbIndex& index, FrameNode* root, FrameNode* frame) {
  const bool plain = LimbIndexReady(index, root);
  if (plain && index.rootLast) index.rootLast->AppendSiblingNode(frame);
  else root->AddChildNode(frame);
  if (!plain) return;
  index.rootLast = frame;
  for (const SceneNode* c = frame->firstChild; c; c = c->nextSibling)
    if (c->IsFrame()) {
      index.root = nullptr;  // a frame with frames of its own: built again on next use
      return;
    }
  if (!Enter(index, frame, index.frames.size())) Abandon(index);
}

void MoveIndexedFrame(LimbIndex& index, FrameNode* frame, FrameNode* parent) {
  if (frame == index.rootLast) index.rootLast = frame->previousSibling;
  frame->DetachNode();
  parent->AddChildNode(frame);
  if (parent == index.root) index.rootLast = frame;
}
