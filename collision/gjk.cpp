#include "collision/gjk.h"

#include <typeinfo>

#include "collision/world.h"

namespace {

// Support differences beyond this squared length (|w| > 1e50, the library's infinity) would
// overflow the determinants; such a test reports no collision.
constexpr double kMaxSquaredLength = 1e100;
// Below this squared length a search vector is only a direction (see ScaleUpSearchVector).
constexpr double kShortSquared = 1e-16;

GjkSimplex& S() { return g_collision.simplex; }

inline bool Has(int32_t set, int i) { return (set >> i) & 1; }

// A search vector that ended a test inside the shapes is rounding-sized; the sphere, cone and
// cylinder supports treat so short a direction as none and answer a centre, which would make
// the first step see a separation that is not there (and, as the vector is kept, keep seeing
// it). Only the direction counts at the first step, so such a vector starts at unit length.
inline void ScaleUpSearchVector(Vec3& v) {
  double len2 = Dot(v, v);
  if (len2 > 0 && len2 < kShortSquared) v = v * (1.0 / std::sqrt(len2));
}

// Picks the lowest free slot for the next support point.
inline void BeginStep(GjkSimplex& s) {
  s.last = __builtin_ctz(unsigned(~s.bits));
  s.lastBit = 1 << s.last;
}

// w equals a point of the simplex as the previous step left it.
inline bool SimplexHasPoint(const GjkSimplex& s, const Vec3& w) {
  for (int i = 0; i < 4; ++i)
    if (Has(s.allBits, i) && s.y[i] == w) return true;
  return false;
}

// Dot products and determinants of every subset that contains the newest point.
void ComputeSimplexDeterminants(GjkSimplex& s) {
  const int last = s.last, lastBit = s.lastBit;
  double(&dp)[4][4] = s.dp;
  double(&det)[16][4] = s.det;
  for (int i = 0; i < 4; ++i)
    if (Has(s.bits, i)) dp[i][last] = dp[last][i] = Dot(s.y[i], s.y[last]);
  dp[last][last] = Dot(s.y[last], s.y[last]);
  det[lastBit][last] = 1;
  for (int j = 0; j < 4; ++j) {
    if (!Has(s.bits, j)) continue;
    int s2 = (1 << j) | lastBit;
    det[s2][j] = dp[last][last] - dp[last][j];
    det[s2][last] = dp[j][j] - dp[j][last];
    for (int i = 0; i < j; ++i) {
      if (!Has(s.bits, i)) continue;
      int s3 = (1 << i) | s2;
      int il = (1 << i) | lastBit, ij = (1 << i) | (1 << j);
      det[s3][i] = det[s2][j] * (dp[j][j] - dp[j][i]) + det[s2][last] * (dp[last][j] - dp[last][i]);
      det[s3][j] = det[il][i] * (dp[i][i] - dp[i][j]) + det[il][last] * (dp[last][i] - dp[last][j]);
      det[s3][last] = det[ij][i] * (dp[i][i] - dp[i][last]) + det[ij][j] * (dp[j][i] - dp[j][last]);
    }
  }
  if (s.allBits == 15) {
    det[15][0] = det[14][1] * (dp[1][1] - dp[1][0]) + det[14][2] * (dp[2][1] - dp[2][0]) +
                 det[14][3] * (dp[3][1] - dp[3][0]);
    det[15][1] = det[13][0] * (dp[0][0] - dp[0][1]) + det[13][2] * (dp[2][0] - dp[2][1]) +
                 det[13][3] * (dp[3][0] - dp[3][1]);
    det[15][2] = det[11][0] * (dp[0][0] - dp[0][2]) + det[11][1] * (dp[1][0] - dp[1][2]) +
                 det[11][3] * (dp[3][0] - dp[3][2]);
    det[15][3] = det[7][0] * (dp[0][0] - dp[0][3]) + det[7][1] * (dp[1][0] - dp[1][3]) +
                 det[7][2] * (dp[2][0] - dp[2][3]);
  }
}

bool JohnsonValid(const GjkSimplex& s, int32_t set) {
  for (int i = 0; i < 4; ++i) {
    if (!Has(s.allBits, i)) continue;
    if (Has(set, i)) {
      if (!(s.det[set][i] > 0)) return false;
    } else if (!(s.det[set | (1 << i)][i] <= 0)) {
      return false;
    }
  }
  return true;
}

Vec3 SimplexCombination(const GjkSimplex& s) {
  Vec3 sum;
  double denom = 0;
  for (int i = 0; i < 4; ++i)
    if (Has(s.bits, i)) {
      sum += s.y[i] * s.det[s.bits][i];
      denom += s.det[s.bits][i];
    }
  return sum * (1.0 / denom);
}

// The sub-simplex nearest the origin that holds the newest point; v becomes its closest point.
bool JohnsonClosest(GjkSimplex& s, Vec3& v) {
  ComputeSimplexDeterminants(s);
  for (int32_t sub = s.bits; sub; sub = (sub - 1) & s.bits) {
    if (JohnsonValid(s, sub | s.lastBit)) {
      s.bits = sub | s.lastBit;
      v = SimplexCombination(s);
      return true;
    }
  }
  if (JohnsonValid(s, s.lastBit)) {
    s.bits = s.lastBit;
    v = s.y[s.last];
    return true;
  }
  return false;
}

bool JohnsonPoints(const GjkSimplex& s, Vec3& pa, Vec3& pb) {
  Vec3 sa, sb;
  double sigma = 0;
  for (int i = 0; i < 4; ++i)
    if (Has(s.bits, i)) {
      double d = s.det[s.bits][i];
      sigma += d;
      sa += s.p[i] * d;
      sb += s.q[i] * d;
    }
  if (!(sigma > 0) || !std::isfinite(sigma)) return false;
  pa = sa * (1.0 / sigma);
  pb = sb * (1.0 / sigma);
  return IsFinite(pa) && IsFinite(pb);
}

// Support of B placed by t for the direction v given in t's parent frame.
inline Vec3 PlacedSupport(const ConvexShape& shape, const CollisionTransform& t, const Vec3& v, Vec3& own) {
  own = shape.support(MatrixTransposeTimesVector(t.basis, v));
  return t.Apply(own);
}

// The loop shared by the relative and common-point variants; Step computes w for v and fills
// p[last], q[last].
template <class Step>
bool RunGjk(Vec3& v, Step step, Vec3* pa, Vec3* pb) {
  GjkSimplex& s = S();
  s.bits = s.allBits = 0;
  ScaleUpSearchVector(v);
  for (int n = 0; n < kGjkMaxSteps; ++n) {
    BeginStep(s);
    Vec3 w = step(v, s.last);
    if (!(Dot(w, w) < kMaxSquaredLength)) return false;
    if (Dot(v, w) > 0) return false;
    if (SimplexHasPoint(s, w)) return false;
    s.y[s.last] = w;
    s.allBits = s.bits | s.lastBit;
    if (!JohnsonClosest(s, v) || !IsFinite(v)) return false;
    if (s.bits == 15 || Dot(v, v) < kGjkZeroSquared) {
      if (pa) return JohnsonPoints(s, *pa, *pb);
      return true;
    }
  }
  return false;
}

// The world-space test over two support functions (see GjkIntersect).
template <class SupportA, class SupportB>
bool IntersectWith(const SupportA& supportA, const SupportB& supportB, const CollisionTransform& ta,
                   const CollisionTransform& tb, Vec3& v) {
  GjkSimplex& s = S();
  Mat3 basis = ta.basis;  // A's points are still placed by ta
  ScaleUpSearchVector(v);
  for (int attempt = 0; attempt < kGjkAttempts; ++attempt) {
    s.bits = s.allBits = 0;
    for (int n = 0;; ++n) {
      if (n == kGjkMaxSteps) return false;
      BeginStep(s);
      Vec3 wa = ta.Apply(supportA(MatrixTransposeTimesVector(basis, -v)));
      Vec3 w = wa - tb.Apply(supportB(MatrixTransposeTimesVector(tb.basis, v)));
      if (!(Dot(w, w) < kMaxSquaredLength)) return false;
      if (Dot(v, w) > 0) return false;
      if (SimplexHasPoint(s, w)) break;
      s.y[s.last] = w;
      s.allBits = s.bits | s.lastBit;
      if (!JohnsonClosest(s, v)) break;
      if (!IsFinite(v)) return false;
      if (s.bits == 15 || Dot(v, v) < kGjkZeroSquared) return true;
    }
    for (double& e : basis.m) e += kGjkPerturbation;
  }
  return true;
}

}  // namespace

// World-space test. A's support directions go through a copy of its basis that is perturbed
// between attempts, so an attempt that stalls on a repeated point or a degenerate simplex is
// retried from the same v along slightly different directions. An enclosed origin (all four
// points kept, or v at zero) answers at once: the perturbed retries cannot separate a pair
// that overlaps by more than the perturbation. Thirty-two stalled attempts count as touching.
// Two boxes, the commonest pair, take their supports without a virtual call.
bool GjkIntersect(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& ta,
                  const CollisionTransform& tb, Vec3& v) {
  if (typeid(a) == typeid(BoxShape) && typeid(b) == typeid(BoxShape)) {
    const auto& boxA = static_cast<const BoxShape&>(a);
    const auto& boxB = static_cast<const BoxShape&>(b);
    return IntersectWith([&](const Vec3& d) { return boxA.BoxShape::support(d); },
                         [&](const Vec3& d) { return boxB.BoxShape::support(d); }, ta, tb, v);
  }
  return IntersectWith([&](const Vec3& d) { return a.support(d); }, [&](const Vec3& d) { return b.support(d); }, ta,
                       tb, v);
}

bool GjkIntersectRelative(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& t, Vec3& v) {
  auto step = [&](const Vec3& dir, int) {
    Vec3 own;
    return a.support(-dir) - PlacedSupport(b, t, dir, own);
  };
  return RunGjk(v, step, nullptr, nullptr);
}

bool GjkCommonPoint(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& ta,
                    const CollisionTransform& tb, Vec3& v, Vec3& pa, Vec3& pb) {
  GjkSimplex& s = S();
  auto step = [&](const Vec3& dir, int last) {
    Vec3 wa = PlacedSupport(a, ta, -dir, s.p[last]);
    return wa - PlacedSupport(b, tb, dir, s.q[last]);
  };
  return RunGjk(v, step, &pa, &pb);
}

bool GjkCommonPointRelative(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& t, Vec3& v,
                            Vec3& pa, Vec3& pb) {
  GjkSimplex& s = S();
  auto step = [&](const Vec3& dir, int last) {
    s.p[last] = a.support(-dir);
    return s.p[last] - PlacedSupport(b, t, dir, s.q[last]);
  };
  return RunGjk(v, step, &pa, &pb);
}

void GjkClosestPoints(const ConvexShape& a, const ConvexShape& b, const CollisionTransform& ta,
                      const CollisionTransform& tb, Vec3& pa, Vec3& pb) {
  GjkSimplex& s = S();
  const double tolerance = g_collision.relativeTolerance;
  // The points for the zero direction also answer when the loop keeps no point.
  Vec3 a0 = a.support({0, 0, 0}), b0 = b.support({0, 0, 0});
  Vec3 v = ta.Apply(a0) - tb.Apply(b0);
  double dist = Length(v);
  s.bits = s.allBits = 0;
  double mu = 0;
  for (int n = 0; n < kGjkMaxSteps && s.bits < 15 && dist > kAbsoluteTolerance && std::isfinite(dist); ++n) {
    BeginStep(s);
    Vec3 wa = PlacedSupport(a, ta, -v, s.p[s.last]);
    Vec3 w = wa - PlacedSupport(b, tb, v, s.q[s.last]);
    if (!(Dot(w, w) < kMaxSquaredLength)) break;
    mu = std::max(mu, Dot(v, w) / dist);
    if (dist - mu <= dist * tolerance || SimplexHasPoint(s, w)) break;
    s.y[s.last] = w;
    s.allBits = s.bits | s.lastBit;
    const int32_t keptBits = s.bits;
    const Vec3 keptV = v;
    if (!JohnsonClosest(s, v)) break;
    double next = Length(v);
    // Once v comes from a simplex, every step must come closer. One that does not was taken on
    // a degenerate simplex (nearly equal points), whose weights are rounding noise and can
    // even claim the origin enclosed: keep the simplex before it, whose determinants and
    // points this step left alone.
    if (keptBits != 0 && !(next < dist)) {
      s.bits = keptBits;
      v = keptV;
      break;
    }
    dist = next;
  }
  if (s.bits == 0 || !JohnsonPoints(s, pa, pb)) {
    pa = a0;
    pb = b0;
  }
  // A shape with a NaN vertex has no closest point; the callers still need a finite one.
  if (!IsFinite(pa)) pa = {0, 0, 0};
  if (!IsFinite(pb)) pb = {0, 0, 0};
}
