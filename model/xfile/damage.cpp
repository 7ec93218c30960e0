// The checks a model load makes on the objects of a read before it builds anything.
#include "model/xfile/damage.h"

namespace {

std::string Label(const XObject& o) { return o.type + (o.name.empty() ? "" : " " + o.name); }

// A face list in d from word at: the count, then per face its corner count and corners. The
// first corner at or past limit gives its cause, and with minCorners a face of fewer corners;
// "" when every face is whole.
std::string FaceIndexPast(const std::vector<uint32_t>& d, size_t at, uint32_t limit, const char* what,
                          const XObject& o, uint32_t minCorners = 0) {
  if (at >= d.size()) return {};
  const uint32_t faces = d[at++];
  if (minCorners && faces == 0) return Label(o) + " has no face";
  for (uint32_t f = 0; f < faces && at < d.size(); ++f) {
    const uint32_t corners = d[at++];
    if (corners < minCorners) return Label(o) + " has a face of " + std::to_string(corners) + " corners";
    for (uint32_t c = 0; c < corners && at < d.size(); ++c, ++at)
      if (d[at] >= limit)
        return Label(o) + " has a face that names " + what + " " + std::to_string(d[at]) + " of " +
               std::to_string(limit);
  }
  return {};
}

// The materials of a list are its children, each a Material or a reference to one; a list
// that gives fewer than it counts, or refers to what is no material, leaves faces without one.
std::string MaterialsMissing(const XObject& list) {
  uint32_t given = 0;
  for (const auto& c : list.children) {
    if (c->isReference && !(c->target && c->target->Is("Material")))
      return Label(list) + " refers to " + (c->name.empty() ? std::string("a GUID") : c->name) +
             ", which is no material of the file";
    if (c->isReference || c->Is("Material")) ++given;
  }
  if (given >= list.data[0]) return {};
  return Label(list) + " names " + std::to_string(list.data[0]) + " materials and holds " + std::to_string(given);
}

std::string Damage(const XObject& o) {
  if (o.shortData) return Label(o) + " holds less data than its counts give";
  // A count below the data it leads leaves the rest unread (objects of other templates keep
  // what they do not use, as they always have).
  if (o.extraData && (o.Is("Mesh") || o.Is("MeshNormals") || o.Is("MeshMaterialList") ||
                      o.Is("MeshTextureCoords") || o.Is("AnimationKey")))
    return Label(o) + " holds more data than its counts give";
  const std::vector<uint32_t>& d = o.data;
  if (d.empty()) return {};
  if (o.Is("Mesh") || o.Is("MeshNormals")) {
    // The count, three floats each, then the faces.
    const uint64_t faces = 1 + 3 * uint64_t(d[0]);
    if (faces >= d.size()) return {};
    return o.Is("Mesh") ? FaceIndexPast(d, size_t(faces), d[0], "vertex", o, 3)
                        : FaceIndexPast(d, size_t(faces), d[0], "normal", o);
  }
  if (o.Is("MeshMaterialList") && d.size() >= 2) {
    for (size_t i = 2; i < d.size() && i - 2 < d[1]; ++i)
      if (d[i] >= d[0])
        return Label(o) + " has a face that names material " + std::to_string(d[i]) + " of " + std::to_string(d[0]);
    return MaterialsMissing(o);
  }
  if (o.Is("AnimationKey") && d.size() >= 2 && d[0] <= 2) {
    // Per key: the time, the value count, the values.
    const uint32_t need = d[0] == 0 ? 4 : 3;
    size_t at = 2;
    for (uint32_t k = 0; k < d[1] && at + 1 < d.size(); ++k) {
      const uint32_t values = d[at + 1];
      if (values < need)
        return Label(o) + " has a key of " + std::to_string(values) + " values where its kind needs " +
               std::to_string(need);
      at += 2 + size_t(values);
    }
  }
  return {};
}

}  // namespace

std::string FirstXDamage(const std::vector<std::unique_ptr<XObject>>& objects) {
  for (const auto& o : objects) {
    if (o->isReference) continue;
    std::string cause = Damage(*o);
    if (cause.empty()) cause = FirstXDamage(o->children);
    if (!cause.empty()) return cause;
  }
  return {};
}
