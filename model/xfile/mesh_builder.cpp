// Mesh parts of .x data and the mesh builder that gathers a file's meshes into one.
#include "model/xfile/mesh_builder.h"

#include <cmath>
#include <cstring>

#include "platform/math3d.h"

namespace {

// The face list that follows a face count: whole faces only, cut where one runs past the data.
void ReadFaces(XDataCursor& c, uint32_t count, std::vector<uint32_t>* words, uint32_t* faces) {
  words->clear();
  *faces = 0;
  for (uint32_t f = 0; f < count; ++f) {
    uint32_t k;
    if (!c.Int(&k) || k > c.Remaining()) return;
    words->push_back(k);
    for (uint32_t i = 0; i < k; ++i) {
      uint32_t v;
      c.Int(&v);
      words->push_back(v);
    }
    ++*faces;
  }
}

// n vectors of three floats (false when the data holds fewer).
bool ReadVectors(XDataCursor& c, uint32_t n, std::vector<float>* out) {
  if (n > c.Remaining() / 3) return false;
  out->resize(size_t(n) * 3);
  return c.Floats(out->data(), out->size());
}

// Gathers meshes into one. A mesh referred to from many frames is added once for each, so
// what it gathers (position and face words) is held to the limit of values a read may build:
// a small file could otherwise build without bound.
class Builder {
 public:
  Builder(BuiltMesh* out, uint64_t maxWords) : out_(out), maxWords_(maxWords) {}
  bool found = false;
  bool tooLarge = false;

  void Frame(const XObject& frame, const float parent[16]) {
    float m[16];
    std::memcpy(m, parent, sizeof m);
    for (const auto& child : frame.children) {
      if (!child->Is("FrameTransformMatrix")) continue;
      float local[16];
      XDataCursor c(*child);
      if (c.Floats(local, 16)) MultiplyMatrix4x4(m, local, parent);
      break;
    }
    for (const auto& child : frame.children) Object(child->Resolved(), m, child->isReference);
  }

  // An object met at top level or inside a frame. A reference only brings in a mesh (a frame
  // referred to could refer back to this one).
  void Object(const XObject& o, const float m[16], bool viaReference) {
    if (o.Is("Mesh")) Mesh(o, m);
    else if (o.Is("Frame") && !viaReference && ++depth_ < 256) Frame(o, m), --depth_;
  }
  void Object(const XObject* o, const float m[16], bool viaReference) {
    if (o) Object(*o, m, viaReference);
  }

 private:
  void Mesh(const XObject& mesh, const float m[16]) {
    XMeshGeometry g;
    if (tooLarge || !ReadXMeshGeometry(mesh, &g)) return;
    built_ += g.positions.size() + g.faceWords.size();
    if (built_ > maxWords_) {
      tooLarge = true;
      return;
    }
    found = true;
    const uint32_t nv = g.VertexCount();
    XMeshNormals normals;
    std::vector<float> uvs;
    bool haveNormals = false, haveUvs = false;
    for (const auto& child : mesh.children) {
      if (child->Is("MeshNormals") && !haveNormals) haveNormals = ReadXMeshNormals(*child, &normals);
      else if (child->Is("MeshTextureCoords") && !haveUvs) haveUvs = ReadXTextureCoords(*child, &uvs) && uvs.size() == 2 * size_t(nv);
    }
    // The normal faces are used only when they match the faces corner for corner.
    if (haveNormals && normals.faceWords.size() != g.faceWords.size()) haveNormals = false;
    for (size_t i = 0; haveNormals && i < g.faceWords.size();) {
      if (normals.faceWords[i] != g.faceWords[i]) haveNormals = false;
      i += size_t(g.faceWords[i]) + 1;
    }
    const uint32_t vbase = uint32_t(out_->positions.size() / 3), nbase = uint32_t(out_->normals.size() / 3);
    for (uint32_t i = 0; i < nv; ++i) {
      float p[3];
      const float* v = &g.positions[3 * size_t(i)];
      if (TransformPointProjected(p, v, m) != kMathOk) std::memcpy(p, v, sizeof p);
      out_->positions.insert(out_->positions.end(), p, p + 3);
    }
    if (haveUvs) out_->texCoords.insert(out_->texCoords.end(), uvs.begin(), uvs.end());
    else out_->texCoords.resize(out_->positions.size() / 3 * 2, 0.0f);
    const uint32_t nn = haveNormals ? uint32_t(normals.normals.size() / 3) : nv;
    std::vector<float> vertexNormals;
    if (!haveNormals) vertexNormals.assign(size_t(nv) * 3, 0.0f);
    for (size_t i = 0; i < g.faceWords.size();) {
      const uint32_t k = g.faceWords[i];
      bool ok = k >= 3;
      for (uint32_t c = 1; ok && c <= k; ++c)
        ok = g.faceWords[i + c] < nv && (!haveNormals || normals.faceWords[i + c] < nn);
      if (ok) {
        out_->faceWords.push_back(k);
        for (uint32_t c = 1; c <= k; ++c) {
          out_->faceWords.push_back(vbase + g.faceWords[i + c]);
          out_->faceWords.push_back(nbase + (haveNormals ? normals.faceWords[i + c] : g.faceWords[i + c]));
        }
        ++out_->faceCount;
        if (!haveNormals) AddFaceNormal(g, i, &vertexNormals);
      }
      i += size_t(k) + 1;
    }
    const std::vector<float>& src = haveNormals ? normals.normals : vertexNormals;
    for (size_t i = 0; i < src.size(); i += 3) {
      // Normals turn with the frames (the matrix without its translation), then are made unit.
      double n[3];
      for (int c = 0; c < 3; ++c) n[c] = src[i] * m[c] + src[i + 1] * m[4 + c] + src[i + 2] * m[8 + c];
      const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      for (int c = 0; c < 3; ++c) out_->normals.push_back(len > 0 ? float(n[c] / len) : 0.0f);
    }
  }

  // Adds the unit normal of the face starting at word i (its first three corners) to its corners.
  static void AddFaceNormal(const XMeshGeometry& g, size_t i, std::vector<float>* acc) {
    const uint32_t k = g.faceWords[i];
    const float* a = &g.positions[3 * size_t(g.faceWords[i + 1])];
    const float* b = &g.positions[3 * size_t(g.faceWords[i + 2])];
    const float* c = &g.positions[3 * size_t(g.faceWords[i + 3])];
    const double p[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
    const double q[3] = {double(c[0]) - b[0], double(c[1]) - b[1], double(c[2]) - b[2]};
    double n[3] = {p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0]};
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len == 0) return;
    for (uint32_t corner = 1; corner <= k; ++corner)
      for (int j = 0; j < 3; ++j) (*acc)[3 * size_t(g.faceWords[i + corner]) + size_t(j)] += float(n[j] / len);
  }

  BuiltMesh* out_;
  int depth_ = 0;
  uint64_t built_ = 0;
  const uint64_t maxWords_;
};

}  // namespace

bool ReadXMeshGeometry(const XObject& mesh, XMeshGeometry* out) {
  XDataCursor c(mesh);
  uint32_t nv, nf;
  if (!c.Int(&nv) || !ReadVectors(c, nv, &out->positions) || !c.Int(&nf)) return false;
  ReadFaces(c, nf, &out->faceWords, &out->faceCount);
  return true;
}

bool ReadXMeshNormals(const XObject& normals, XMeshNormals* out) {
  XDataCursor c(normals);
  uint32_t n, nf;
  if (!c.Int(&n) || !ReadVectors(c, n, &out->normals)) return false;
  if (c.Int(&nf)) ReadFaces(c, nf, &out->faceWords, &out->faceCount);
  return true;
}

bool ReadXTextureCoords(const XObject& coords, std::vector<float>* out) {
  XDataCursor c(coords);
  uint32_t n;
  if (!c.Int(&n) || n > c.Remaining() / 2) return false;
  out->resize(size_t(n) * 2);
  return c.Floats(out->data(), out->size());
}

bool BuildMeshFromX(std::string_view bytes, BuiltMesh* out, const XLimits& limits) {
  XFile file;
  ParseXFile(bytes, file, limits);
  *out = BuiltMesh{};
  Builder b(out, limits.values);
  float identity[16];
  SetMatrixIdentity(identity);
  for (const auto& o : file.objects) b.Object(*o, identity, false);
  if (b.tooLarge) *out = BuiltMesh{};
  return b.found && !b.tooLarge;
}
