#pragma once
#include <cstdint>
#include <vector>

class FrameNode;
class SceneNode;

// The frames of a model's tree by limb number, so an operation on one limb goes straight to its
// frame and meshes instead of walking the whole tree. It serves a plain tree only: one frame per
// limb number and every mesh a direct child of the frame of its number (as limbs built from mesh
// data are). In any other tree the operations walk it, as they find every node of a number.
// Built on first use for the root it is given, kept up to date by the handle's own changes to
// the tree and built again when the handle holds another root.
struct LimbIndex {
  const SceneNode* root = nullptr;  // the tree indexed; nullptr: not built
  bool plain = false;
  std::vector<FrameNode*> frames;  // by limb number; nullptr where no frame has it
  SceneNode* rootLast = nullptr;   // the last child of the root, so a limb is added at once
};

// The index brought up to date for the tree of root (built again for another root); true when
// the tree is plain and IndexedFrame answers for it.
bool LimbIndexReady(LimbIndex& index, FrameNode* root);
// The frame of the limb in an indexed plain tree, nullptr when no frame has the number.
FrameNode* IndexedFrame(const LimbIndex& index, uint32_t limb);
// The frame linked at the end of root's children, and entered in the index.
void AddFrameUnderRoot(LimbIndex& index, FrameNode* root, FrameNode* frame);
// A frame of an indexed plain tree moved, with its subtree, to the end of parent's children.
void MoveIndexedFrame(LimbIndex& index, FrameNode* frame, FrameNode* parent);
