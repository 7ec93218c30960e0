// Mesh nodes: geometry, normals, the vertex buffer, drawing by texture and the limb edits.
#include "model/mesh_node.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/model_textures.h"
#include "platform/math3d.h"

void SubtractVector3(float out[3], const float a[3], const float b[3]) {
  for (int i = 0; i < 3; ++i) out[i] = a[i] - b[i];
}
void CrossProduct3(float out[3], const float a[3], const float b[3]) {
  const float x = a[1] * b[2] - a[2] * b[1], y = a[2] * b[0] - a[0] * b[2], z = a[0] * b[1] - a[1] * b[0];
  out[0] = x, out[1] = y, out[2] = z;
}
float VectorLengthSquared(const float v[3]) { return v[0] * v[0] + v[1] * v[1] + v[2] * v[2]; }
float VectorLength(const float v[3]) { return std::sqrt(VectorLengthSquared(v)); }
void DivideVector3(float v[3], float divisor) {
  for (int i = 0; i < 3; ++i) v[i] /= divisor;
}
void NormalizeVector3(float v[3]) {
  const float len = VectorLength(v);
  if (len > 0) DivideVector3(v, len);
}

namespace {

// Calls run(from, to) over n vertices a run at a time, the stop request looked at between runs
// (inside a load's scope only): false once a stop ends the work part way.
template <class Run>
bool EachVertexRun(size_t n, Run&& run) {
  for (size_t from = 0; from < n;) {
    const size_t to = std::min<size_t>(n, from + kVerticesPerStopPoll);
    run(from, to);
    if (VertexWorkStopped(to - from)) return false;
    from = to;
  }
  return true;
}
// The same, f(k) for each vertex.
template <class F>
bool EachVertex(size_t n, F&& f) {
  return EachVertexRun(n, [&](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) f(k);
  });
}

// p x m with the translation row and no division (an affine placement).
void PlacePoint(float out[3], const Vertex& v, const float m[16]) {
  for (int i = 0; i < 3; ++i) out[i] = v.x * m[i] + v.y * m[4 + i] + v.z * m[8 + i] + m[12 + i];
}

}  // namespace

MeshNode::MeshNode(const char* n, uint32_t vertexCount, const float* positions, uint32_t faceCount,
                   const uint32_t* faceWords, size_t faceWordCount, bool twoWordsPerCorner)
    : SceneNode(n) {
  SetPositions(vertexCount, positions);
  BuildIndices(faceCount, faceWords, faceWordCount, twoWordsPerCorner);
}

MeshNode::~MeshNode() { MeshNode::ReleaseResources(); }

void MeshNode::SetPositions(uint32_t vertexCount, const float* positions) {
  vertices.assign(positions ? vertexCount : 0, Vertex{});
  for (size_t k = 0; k < vertices.size(); ++k) {
    vertices[k].x = positions[3 * k];
    vertices[k].y = positions[3 * k + 1];
    vertices[k].z = positions[3 * k + 2];
  }
}

void MeshNode::BuildIndices(uint32_t faceCount, const uint32_t* words, size_t wordCount, bool twoWords) {
  std::vector<uint32_t>().swap(indices);
  if (!words) return;
  const size_t step = twoWords ? 2 : 1;
  const size_t vertexCount = vertices.size();
  // Calls fan(corners, first corner) on each face kept.
  auto eachFace = [&](auto&& fan) {
    size_t at = 0;
    for (uint32_t f = 0; f < faceCount && at < wordCount; ++f) {
      const uint32_t corners = words[at++];
      if (corners > (wordCount - at) / step) break;  // the face runs past the words given
      const uint32_t* c = words + at;
      at += size_t(corners) * step;
      if (corners < 3) continue;
      bool inside = true;
      for (uint32_t k = 0; k < corners && inside; ++k) inside = c[k * step] < vertexCount;
      if (inside) fan(corners, c);
    }
  };
  // The triangles are counted first, so the list is made at its size: grown by doubling it
  // would hold up to twice the indices, and both lists at once while it grows.
  size_t triangles = 0;
  eachFace([&](uint32_t corners, const uint32_t*) { triangles += corners - 2; });
  indices.reserve(3 * triangles);
  eachFace([&](uint32_t corners, const uint32_t* c) {
    for (uint32_t k = 2; k < corners; ++k) {
      indices.push_back(c[0]);
      indices.push_back(c[(k - 1) * step]);
      indices.push_back(c[k * step]);
    }
  });
}

int32_t MeshNode::SetGeometry(uint32_t vertexCount, const float* positions, uint32_t faceCount,
                              const uint32_t* faceWords, size_t faceWordCount) {
  SetPositions(vertexCount, positions);
  BuildIndices(faceCount, faceWords, faceWordCount, true);
  return RebuildVertexBuffer();
}

void MeshNode::SetNormals(const float* normals) {
  if (!normals) return;
  for (size_t k = 0; k < vertices.size(); ++k) {
    vertices[k].nx = normals[3 * k];
    vertices[k].ny = normals[3 * k + 1];
    vertices[k].nz = normals[3 * k + 2];
  }
  RebuildVertexBuffer();
}

void MeshNode::SetTextureCoordinates(const float* uvs) {
  if (!uvs) return;
  for (size_t k = 0; k < vertices.size(); ++k) {
    vertices[k].u = uvs[2 * k];
    vertices[k].v = uvs[2 * k + 1];
  }
  RebuildVertexBuffer();
}

void MeshNode::ComputeNormals() {
  std::vector<float> sums(vertices.size() * 3, 0.0f);
  for (size_t t = 0; t + 2 < indices.size(); t += 3) {
    const Vertex &a = vertices[indices[t]], &b = vertices[indices[t + 1]], &c = vertices[indices[t + 2]];
    const float pa[3] = {a.x, a.y, a.z}, pb[3] = {b.x, b.y, b.z}, pc[3] = {c.x, c.y, c.z};
    float p[3], q[3], n[3];
    SubtractVector3(p, pb, pa);
    SubtractVector3(q, pc, pb);
    CrossProduct3(n, p, q);
    NormalizeVector3(n);
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 3; ++i) sums[size_t(indices[t + size_t(k)]) * 3 + size_t(i)] += n[i];
  }
  for (size_t k = 0; k < vertices.size(); ++k) {
    float* n = &sums[3 * k];
    NormalizeVector3(n);
    vertices[k].nx = n[0], vertices[k].ny = n[1], vertices[k].nz = n[2];
  }
}

int32_t MeshNode::BuildVertexBuffer(Device3D* device) {
  ReleaseBuffer();
  return device ? BuildBuffer(*device, 1.0f) : 0;
}

int32_t MeshNode::RebuildVertexBuffer() { return BuildVertexBuffer(bufferDevice_.lock().get()); }

int32_t MeshNode::BuildBuffer(Device3D& device, float normalScale) {
  ReleaseBuffer();
  bufferDevice_ = device.weak_from_this();
  // The device's copy is made here a run of vertices at a time, so a stop (in a load's scope)
  // ends the copy of a mesh of millions of vertices part way; the mesh then has no buffer.
  MeshBufferData data;
  try {
    data.vertices.reserve(vertices.size());
    const bool whole = EachVertexRun(vertices.size(), [&](size_t from, size_t to) {
      data.vertices.insert(data.vertices.end(), vertices.begin() + ptrdiff_t(from), vertices.begin() + ptrdiff_t(to));
      if (normalScale == 1.0f) return;
      for (size_t k = from; k < to; ++k) {
        Vertex& v = data.vertices[k];
        v.nx *= normalScale, v.ny *= normalScale, v.nz *= normalScale;
      }
    });
    if (!whole) return 0;
    data.indices = indices;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  vertexBuffer = device.AdoptVertexBuffer(std::move(data));
  return vertexBuffer != 0;
}

void MeshNode::ReleaseBuffer() {
  // A buffer of a device that has gone went with it.
  if (vertexBuffer)
    if (const Device3DPtr device = bufferDevice_.lock()) device->ReleaseVertexBuffer(vertexBuffer);
  vertexBuffer = 0;
  bufferDevice_.reset();
}

void MeshNode::MeasureBox(float centre[3], float* sizeX, float* sizeY, float* sizeZ) const {
  float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for (size_t k = 0; k < vertices.size(); ++k) {
    const float p[3] = {vertices[k].x, vertices[k].y, vertices[k].z};
    for (int i = 0; i < 3; ++i) {
      lo[i] = k == 0 ? p[i] : std::min(lo[i], p[i]);
      hi[i] = k == 0 ? p[i] : std::max(hi[i], p[i]);
    }
  }
  float* sizes[3] = {sizeX, sizeY, sizeZ};
  for (int i = 0; i < 3; ++i) {
    *sizes[i] = hi[i] - lo[i];
    centre[i] = lo[i] + *sizes[i] / 2;
  }
}

void MeshNode::CollectTextures(SceneTextureList* list, double value) {
  for (SceneTextureEntry& e : *list)
    if (e.texture == textureNumber) {
      e.value = (e.value + value) / 2.0;
      return;
    }
  list->push_back({textureNumber, value});
}

void MeshNode::DrawTextureGroup(Device3D& device, int32_t texture, uint32_t* drawnIndices) {
  if (textureNumber != texture || drawFlag == 0 || indices.empty()) return;
  if (vertexBuffer)
    device.DrawVertexBuffer(vertexBuffer);
  else
    device.DrawIndexed(vertices.data(), uint32_t(vertices.size()), indices.data(), uint32_t(indices.size()));
  if (drawnIndices) *drawnIndices += uint32_t(indices.size());
}

void MeshNode::SumVertices(const float m[16], double sum[3], uint32_t* count) {
  EachVertex(vertices.size(), [&](size_t k) {
    float p[3];
    PlacePoint(p, vertices[k], m);
    for (int i = 0; i < 3; ++i) sum[i] += p[i];
  });
  *count += uint32_t(vertices.size());
}

void MeshNode::MaxVertexDistance(const float m[16], const float centre[3], float* radius) {
  EachVertex(vertices.size(), [&](size_t k) {
    float p[3], d[3];
    PlacePoint(p, vertices[k], m);
    SubtractVector3(d, p, centre);
    *radius = std::max(*radius, VectorLength(d));
  });
}

void MeshNode::MinAxisDistance(const float[16], const float centre[3], float* distance) {
  EachVertex(vertices.size(), [&](size_t k) {
    const Vertex& v = vertices[k];
    const float d = std::min({std::fabs(v.x - centre[0]), std::fabs(v.y - centre[1]), std::fabs(v.z - centre[2])});
    *distance = std::min(*distance, d);
  });
}

void MeshNode::SumLimbVertices(uint32_t limb, const float m[16], double sum[3], uint32_t* count) {
  if (limb == limbNumber) SumVertices(m, sum, count);
}

void MeshNode::MaxLimbVertexDistance(uint32_t limb, const float m[16], const float centre[3], float* radius) {
  if (limb == limbNumber) MaxVertexDistance(m, centre, radius);
}

void MeshNode::GrowBoundingBox(const float m[16], NodeBounds* b) {
  EachVertex(vertices.size(), [&](size_t k) {
    const Vertex& v = vertices[k];
    const float in[3] = {v.x, v.y, v.z};
    float p[3] = {v.x, v.y, v.z};
    TransformPointProjected(p, in, m);
    for (int i = 0; i < 3; ++i) {
      b->min[i] = std::min(b->min[i], p[i]);
      b->max[i] = std::max(b->max[i], p[i]);
    }
  });
}

void MeshNode::ExportGeometry(Device3D& device, GeometryExport* out) {
  if (out->limbFilter != -1 && uint32_t(out->limbFilter) != limbNumber) return;
  if (out->textureFilter != -1 && out->textureFilter != textureNumber) return;
  if (out->mode == 2) {
    const float* w = device.State().transforms[kTransformWorld - 1];
    // Normals turn with the positions, by the inverse transpose of the world's 3x3 (so a
    // stretch keeps them perpendicular), and keep their length; a world without an inverse
    // leaves them as they are.
    float inverse[16];
    const bool turnNormals = InvertAffineMatrix(inverse, w) == kMathOk;
    Vertex* dst = out->vertices + out->vertexCursor;
    EachVertex(vertices.size(), [&](size_t k) {
      dst[k] = vertices[k];
      const float in[3] = {vertices[k].x, vertices[k].y, vertices[k].z};
      TransformPointProjected(&dst[k].x, in, w);
      if (!turnNormals) return;
      const float n[3] = {vertices[k].nx, vertices[k].ny, vertices[k].nz};
      float t[3];
      for (int j = 0; j < 3; ++j) t[j] = n[0] * inverse[4 * j] + n[1] * inverse[4 * j + 1] + n[2] * inverse[4 * j + 2];
      const float was = VectorLength(n), now = VectorLength(t);
      if (now > 0) DivideVector3(t, now / was);
      dst[k].nx = t[0], dst[k].ny = t[1], dst[k].nz = t[2];
    });
    std::copy(indices.begin(), indices.end(), out->indices + out->indexCursor);
    out->vertexCounts[out->meshCursor] = uint32_t(vertices.size());
    out->indexCounts[out->meshCursor] = uint32_t(indices.size());
  } else if (out->mode == 1) {
    const float* w = device.State().transforms[kTransformWorld - 1];
    NodeBounds& b = out->bounds;
    EachVertex(vertices.size(), [&](size_t k) {
      const float in[3] = {vertices[k].x, vertices[k].y, vertices[k].z};
      float p[3] = {in[0], in[1], in[2]};
      TransformPointProjected(p, in, w);
      const bool first = out->vertexCursor == 0 && k == 0;
      for (int i = 0; i < 3; ++i) {
        b.min[i] = first ? p[i] : std::min(b.min[i], p[i]);
        b.max[i] = first ? p[i] : std::max(b.max[i], p[i]);
      }
    });
  }
  out->meshCursor += 1;
  out->vertexCursor += uint32_t(vertices.size());
  out->indexCursor += uint32_t(indices.size());
}

void MeshNode::GetLimbMeshInfo(uint32_t limb, int32_t index, uint32_t* counter, int32_t* textureOut,
                               std::string* nameOut) {
  if (limb != limbNumber) return;
  if (index != -2 && int64_t(index) == int64_t(*counter)) {
    *textureOut = textureNumber;
    *nameOut = textureName;
  }
  *counter += 1;
}

void MeshNode::FindMeshArraysByName(const char* n, MeshArrays* out) {
  if (n && std::strcmp(n, name) == 0 && !vertices.empty()) {
    *out = MeshArrays{vertices.data(), uint32_t(vertices.size()), indices.data(), uint32_t(indices.size())};
  }
}

void MeshNode::SetLimbTexture(uint32_t limb, int32_t texture) {
  if (limb != limbNumber) return;
  if (textureOwned == 1) {
    ReleaseModelTexture(textureNumber);
    textureOwned = 0;
  }
  textureNumber = texture;
}

void MeshNode::GetLimbTexture(uint32_t limb, int32_t* out) {
  if (limb == limbNumber) *out = textureNumber;
}

void MeshNode::GetLimbTextureName(uint32_t limb, std::string* out) {
  if (limb == limbNumber) *out = textureName;
}

void MeshNode::ScaleLimbVertices(uint32_t limb, float sx, float sy, float sz) {
  if (limb == limbNumber) ScaleAllVertices(sx, sy, sz);
}

void MeshNode::ScaleAllVertices(float sx, float sy, float sz) {
  for (Vertex& v : vertices) v.x *= sx, v.y *= sy, v.z *= sz;
  RebuildVertexBuffer();
}

void MeshNode::ScaleNormals(float factor) {
  const Device3DPtr device = bufferDevice_.lock();
  if (device) BuildBuffer(*device, factor);
  else ReleaseBuffer();
}

void MeshNode::ChangeLimbMesh(uint32_t limb, const MeshGeometry& g) {
  if (limb != limbNumber) return;
  SetPositions(g.vertexCount, g.positions);
  BuildIndices(g.faceCount, g.faceWords, g.faceWordCount, true);
  // Vertices the record has no normal for get one from their faces; the others keep theirs.
  if (g.normalCount < vertices.size()) ComputeNormals();
  if (g.normals)
    for (size_t k = 0; k < vertices.size() && k < g.normalCount; ++k) {
      vertices[k].nx = g.normals[3 * k];
      vertices[k].ny = g.normals[3 * k + 1];
      vertices[k].nz = g.normals[3 * k + 2];
    }
  if (g.uvs)
    for (size_t k = 0; k < vertices.size(); ++k) {
      vertices[k].u = g.uvs[2 * k];
      vertices[k].v = g.uvs[2 * k + 1];
    }
  // Without a device the arrays have changed and the buffer is made when the device comes back.
  RebuildVertexBuffer();
}

void MeshNode::SetLimbVisible(uint32_t limb, uint32_t flag) {
  if (limb == limbNumber) drawFlag = flag;
}

void MeshNode::ScrollLimbTexture(uint32_t limb, float du, float dv) {
  if (limb != limbNumber) return;
  for (Vertex& v : vertices) v.u += du, v.v += dv;
  RebuildVertexBuffer();
}

void MeshNode::ScaleLimbTexture(uint32_t limb, float su, float sv) {
  if (limb != limbNumber) return;
  for (Vertex& v : vertices) v.u *= su, v.v *= sv;
  RebuildVertexBuffer();
}

void MeshNode::ReleaseResources() {
  ReleaseCollision();
  if (ModelTextureListed(textureNumber)) ReleaseModelTexture(textureNumber);
  // Released once: a second call finds nothing to give back.
  textureNumber = 0;
  textureOwned = 0;
  vertices.clear();
  vertices.shrink_to_fit();
  indices.clear();
  indices.shrink_to_fit();
  ReleaseBuffer();
}
