#include "collision/complex_shape.h"

#include <algorithm>
#include <cmath>

namespace {

// Accumulates a box by its corners; starts empty (minimum +1e50, maximum -1e50).
struct BoxBounds {
  Vec3 lo{1e50, 1e50, 1e50};
  Vec3 hi{-1e50, -1e50, -1e50};

  void Include(const Vec3& p) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  void Include(const BBox& b) {
    Include(b.centre - b.extent);
    Include(b.centre + b.extent);
  }
  BBox Box() const {
    Vec3 half = (hi - lo) * 0.5;
    return {lo + half, half};
  }
};

int SplitAxis(const Vec3& extent) {
  double ax = std::fabs(extent.x), ay = std::fabs(extent.y), az = std::fabs(extent.z);
  if (ax >= ay && ax >= az) return 0;
  return ay >= az ? 1 : 2;
}

}  // namespace

ComplexShape::~ComplexShape() {
  for (BBoxNode& leaf : leaves_) delete leaf.polytope;
}

void ComplexShape::ComputeLeafBox(BBoxNode& leaf) const {
  const Polytope* p = leaf.polytope;
  BoxBounds b;
  for (uint32_t i = 0; i < p->Count(); ++i) b.Include(p->Vertex(i));
  leaf.box = b.Box();
}

void ComplexShape::Build(std::vector<Polytope*> polytopes, const std::vector<Vec3>* collected) {
  size_t vertexCount = SIZE_MAX;
  if (!base_ && collected) {
    owned_.resize(collected->size() * 3);
    for (size_t i = 0; i < collected->size(); ++i) {
      owned_[3 * i] = (*collected)[i].x;
      owned_[3 * i + 1] = (*collected)[i].y;
      owned_[3 * i + 2] = (*collected)[i].z;
    }
    base_ = owned_.data();
    vertexCount = collected->size();
  }
  previous_ = base_;
  leaves_.reserve(polytopes.size());
  for (Polytope* p : polytopes) {
    bool ok = p->Count() > 0 && base_;
    for (uint32_t i = 0; ok && i < p->Count(); ++i) ok = p->Index(i) < vertexCount;
    if (!ok) {
      delete p;
      continue;
    }
    BBoxNode leaf;
    leaf.polytope = p;
    ComputeLeafBox(leaf);
    leaves_.push_back(leaf);
  }
  BuildTree();
  built_ = true;
}

// Builds the internal nodes in pre-order: a node's lower subtree takes its nodes before the
// upper child is taken, so every child lies after its parent in the array.
void ComplexShape::BuildTree() {
  size_t n = leaves_.size();
  if (n == 0) return;
  if (n < 2) {
    root_ = &leaves_[0];
    return;
  }
  internal_.assign(n - 1, BBoxNode{});
  size_t nextFree = 0;
  struct Task {
    size_t begin, count;
    const BBoxNode** link;  // where the parent keeps this child
  };
  std::vector<Task> tasks;
  const BBoxNode* rootLink = nullptr;
  tasks.push_back({0, n, &rootLink});
  while (!tasks.empty()) {
    Task task = tasks.back();
    tasks.pop_back();
    BBoxNode& node = internal_[nextFree++];
    *task.link = &node;
    BBoxNode* leaf = &leaves_[task.begin];
    size_t count = task.count;
    node.tag = 1;
    BoxBounds bounds;
    for (size_t i = 0; i < count; ++i) bounds.Include(leaf[i].box);
    node.box = bounds.Box();
    int axis = SplitAxis(node.box.extent);
    size_t i = 0, m = count;
    while (i < m) {
      if (leaf[i].box.centre[axis] >= node.box.centre[axis]) {
        std::swap(leaf[i], leaf[m - 1]);
        --m;
      } else {
        ++i;
      }
    }
    if (m == 0 || m == count) m = count / 2;
    if (count - m >= 2)
      tasks.push_back({task.begin + m, count - m, &node.upper});
    else
      node.upper = &leaf[m];
    if (m >= 2)
      tasks.push_back({task.begin, m, &node.lower});
    else
      node.lower = &leaf[0];
  }
  root_ = &internal_[0];
}

void ComplexShape::Refit(const double* newBase) {
  base_ = newBase;
  for (BBoxNode& leaf : leaves_) ComputeLeafBox(leaf);
  for (size_t k = internal_.size(); k-- > 0;) {
    BoxBounds b;
    b.Include(internal_[k].upper->box);
    b.Include(internal_[k].lower->box);
    internal_[k].box = b.Box();
  }
}

BBox ComplexShape::bbox(const CollisionTransform& t) const {
  if (!root_) return FarBBox();
  const BBox& r = root_->box;
  BBox out;
  out.centre = t.Apply(r.centre);
  for (int i = 0; i < 3; ++i) {
    Vec3 row = t.basis.Row(i);
    out.extent[i] = std::fabs(row.x) * r.extent.x + std::fabs(row.y) * r.extent.y + std::fabs(row.z) * r.extent.z;
  }
  return out;
}
