#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "collision/shapes.h"

// A node of a complex shape's box tree, in the shape's own frame. A leaf links its polytope;
// an internal node its upper and lower children.
struct BBoxNode {
  BBox box;
  int32_t tag = 0;                  // 0 leaf, 1 internal
  Polytope* polytope = nullptr;     // leaf
  const BBoxNode* upper = nullptr;  // internal
  const BBoxNode* lower = nullptr;  // internal

  bool IsLeaf() const { return tag == 0; }
};

// Largest extent of a box: the size by which the complex-complex descent chooses a side.
inline double BoxSize(const BBox& b) { return std::max(b.extent.x, std::max(b.extent.y, b.extent.z)); }

// A non-convex shape: convex polytopes over one vertex array, with a box tree over them.
class ComplexShape final : public CollisionShape {
 public:
  ComplexShape() = default;
  ComplexShape(const ComplexShape&) = delete;
  ComplexShape& operator=(const ComplexShape&) = delete;
  ~ComplexShape() override;

  BBox bbox(const CollisionTransform& t) const override;
  bool isConvex() const override { return false; }

  // Takes the polytopes (built over this shape's base field) and builds the tree. With
  // collected vertices the shape copies and owns them; polytopes that name a vertex outside
  // them, or no vertex at all, are destroyed instead of added.
  void Build(std::vector<Polytope*> polytopes, const std::vector<Vec3>* collected);
  // Takes a new vertex base and refits every box; the tree's topology stays.
  void Refit(const double* newBase);

  const double* const* BaseField() const { return &base_; }
  const double* Base() const { return base_; }
  const double* PreviousBase() const { return previous_; }
  void SetBase(const double* base) { base_ = base; }
  void ProceedBase() { previous_ = base_; }
  void ExchangeBases() { std::swap(base_, previous_); }
  bool OwnsBase() const { return !owned_.empty(); }
  bool Built() const { return built_; }
  // None for a shape without polytopes: such a shape never collides.
  const BBoxNode* Root() const { return root_; }
  int32_t LeafCount() const { return int32_t(leaves_.size()); }
  const std::vector<BBoxNode>& Leaves() const { return leaves_; }
  const std::vector<BBoxNode>& Internal() const { return internal_; }

 private:
  void BuildTree();
  void ComputeLeafBox(BBoxNode& leaf) const;

  const double* base_ = nullptr;
  const double* previous_ = nullptr;
  std::vector<double> owned_;  // the copied vertices, kept until destruction whatever the base
  std::vector<BBoxNode> leaves_;
  std::vector<BBoxNode> internal_;
  const BBoxNode* root_ = nullptr;
  bool built_ = false;
};
