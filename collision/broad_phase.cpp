#include "collision/broad_phase.h"

#include <algorithm>
#include <cmath>

#include "collision/sweep_prune.h"

namespace {

// The exact tests may find shapes apart by no more than rounding touching (a stalled search
// counts as touching): each box is widened by this share of the size of its coordinates, far
// more than rounding, so that no pair the exact test could find is left out.
constexpr double kRelativeMargin = 1e-6;

// An object's widened box.
struct Span {
  double lo[3], hi[3];
  uint32_t index;
};

uint64_t Pair(uint32_t a, uint32_t b) { return a > b ? uint64_t(a) << 32 | b : uint64_t(b) << 32 | a; }

// The axis along which the boxes' centres spread most: the sweep along it meets fewest boxes.
int SweepAxis(const std::vector<Span>& spans) {
  double sum[3] = {}, squares[3] = {};
  for (const Span& s : spans)
    for (int i = 0; i < 3; ++i) {
      const double c = 0.5 * s.lo[i] + 0.5 * s.hi[i];
      sum[i] += c;
      squares[i] += c * c;
    }
  int best = 0;
  double bestSpread = -1;
  for (int i = 0; i < 3; ++i) {
    const double mean = sum[i] / double(spans.size());
    const double spread = squares[i] / double(spans.size()) - mean * mean;
    if (spread > bestSpread) bestSpread = spread, best = i;
  }
  return best;
}

}  // namespace

std::vector<uint64_t> MeetingPairs(const std::vector<CollisionObject*>& objects) {
  std::vector<Span> spans;
  std::vector<uint32_t> unmeasured;
  spans.reserve(objects.size());
  for (uint32_t k = 0; k < uint32_t(objects.size()); ++k) {
    const CollisionObject& o = *objects[k];
    if (o.dead || !o.shape) continue;  // never tested, or never colliding
    const BBox box = o.shape->bbox(o.current);
    double size = 0;
    for (int i = 0; i < 3; ++i) size = std::max({size, std::fabs(box.centre[i]), std::fabs(box.extent[i])});
    const double margin = size * kRelativeMargin;
    Span s;
    s.index = k;
    bool finite = true;
    for (int i = 0; i < 3; ++i) {
      s.lo[i] = box.centre[i] - box.extent[i] - margin;
      s.hi[i] = box.centre[i] + box.extent[i] + margin;
      finite = finite && std::isfinite(s.lo[i]) && std::isfinite(s.hi[i]);
    }
    if (finite) spans.push_back(s);
    else unmeasured.push_back(k);
  }
  std::vector<uint64_t> pairs;
  if (!spans.empty()) {
    const int axis = SweepAxis(spans);
    const int other1 = (axis + 1) % 3, other2 = (axis + 2) % 3;
    std::sort(spans.begin(), spans.end(), [axis](const Span& a, const Span& b) { return a.lo[axis] < b.lo[axis]; });
    // Each box meets those that start after it along the axis, up to its own end, and also
    // meet it on the other two axes.
    for (size_t a = 0; a < spans.size(); ++a) {
      const Span& sa = spans[a];
      for (size_t b = a + 1; b < spans.size() && spans[b].lo[axis] <= sa.hi[axis]; ++b) {
        const Span& sb = spans[b];
        if (sa.lo[other1] <= sb.hi[other1] && sb.lo[other1] <= sa.hi[other1] && sa.lo[other2] <= sb.hi[other2] &&
            sb.lo[other2] <= sa.hi[other2])
          pairs.push_back(Pair(sa.index, sb.index));
      }
    }
  }
  for (size_t u = 0; u < unmeasured.size(); ++u) {
    for (const Span& s : spans) pairs.push_back(Pair(unmeasured[u], s.index));
    for (size_t v = 0; v < u; ++v) pairs.push_back(Pair(unmeasured[u], unmeasured[v]));
  }
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}
