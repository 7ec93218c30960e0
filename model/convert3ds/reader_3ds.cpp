// 3DS chunk walker. Pass 1 collects the keyframer hierarchy (the parent and pivot of every
// object); pass 2 emits materials, frames and meshes in file order, then the keyframer tracks.
#include "model/convert3ds/reader_3ds.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "platform/math3d.h"
#include "platform/stop_request.h"

namespace {

// Per-object tables of the keyframer hierarchy; objects beyond the last entry have no parent.
constexpr int32_t kTableSize = 5000;
constexpr size_t kMaxText = 255;

enum : uint16_t {
  kMain = 0x4D4D, kEditor = 0x3D3D, kMaterial = 0xAFFF, kMatName = 0xA000, kMatDiffuse = 0xA020,
  kMatSpecular = 0xA030, kMatShininess = 0xA040, kMatTexture = 0xA200, kMatTextureFile = 0xA300,
  kObject = 0x4000, kTriMesh = 0x4100, kVertices = 0x4110, kFaces = 0x4120, kFaceMaterial = 0x4130,
  kTexCoords = 0x4140, kLocalAxes = 0x4160, kColourF = 0x0010, kColour24 = 0x0011,
  kPercentInt = 0x0030, kPercentFloat = 0x0031, kKeyframer = 0xB000, kNode = 0xB002,
  kNodeHeader = 0xB010, kInstanceName = 0xB011, kPivot = 0xB013, kPositionTrack = 0xB020,
  kRotationTrack = 0xB021, kScaleTrack = 0xB022,
};

struct Chunk {
  uint16_t id = 0;
  size_t start = 0, data = 0, end = 0;  // header, first data byte, one past the chunk
};

class Reader {
 public:
  Reader(std::string_view bytes, Sink3ds& sink) : s_(bytes), sink_(sink) {}

  // False when the process was asked to stop part way (the sink then has part of the model).
  // The first damage met ("" none).
  const std::string& Damage() const { return damage_; }

  bool Run() {
    pass_ = 1;
    WalkMainChunks();
    if (stopped_) return false;
    pass_ = 2;
    objectIndex_ = -1;
    depth_ = 0;
    SetMatrixIdentity(placing_);
    placingAt_.assign(size_t(kTableSize) + 2, Matrix{});
    for (Matrix& m : placingAt_) SetMatrixIdentity(m.m);
    WalkMainChunks();
    if (stopped_) return false;
    // A mesh of a material no chunk defines would be drawn without it.
    for (const auto& [object, material] : materialsUsed_)
      if (!materialsDefined_.contains(material))
        NoteDamage("object " + object + " names material " + material + ", which the file does not hold");
    if (!nodes_.empty()) sink_.Animation(nodes_);
    return true;
  }

 private:
  struct Matrix {
    float m[16];
  };
  struct MeshState {
    std::vector<float> positions, texCoords;
    std::vector<uint32_t> faces;
    std::string materialName;
    float local[16];
    bool hasLocal = false;
  };

  // --- bytes ---
  uint8_t B(size_t p) const { return uint8_t(s_[p]); }
  uint16_t U16(size_t p) const { return uint16_t(B(p) | B(p + 1) << 8); }
  uint32_t U32(size_t p) const { return uint32_t(U16(p)) | uint32_t(U16(p + 2)) << 16; }
  float F32(size_t p) const {
    const uint32_t bits = U32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }

  // A chunk header at pos inside [pos, parentEnd): false when it is cut short, shorter than
  // its own header or longer than its parent.
  // A length shorter than the header or past the parent is kept as the file's damage.
  bool ChunkAt(size_t pos, size_t parentEnd, Chunk* c) {
    if (pos > parentEnd || parentEnd - pos < 6) return false;
    const uint32_t len = U32(pos + 2);
    if (len > parentEnd - pos) NoteOverrun(U16(pos), pos, "its parent chunk");
    if (len < 6) NoteShort(U16(pos), pos, len);
    if (len < 6 || len > parentEnd - pos) return false;
    c->id = U16(pos);
    c->start = pos;
    c->data = pos + 6;
    c->end = pos + len;
    return true;
  }

  void NoteOverrun(uint16_t id, size_t pos, const char* holder) {
    char text[120];
    std::snprintf(text, sizeof text, "chunk 0x%04X at byte %zu claims more data than %s holds", id, pos, holder);
    NoteDamage(text);
  }
  void NoteShort(uint16_t id, size_t pos, uint32_t len) {
    char text[120];
    std::snprintf(text, sizeof text, "chunk 0x%04X at byte %zu has a length of %u, less than its header", id, pos, len);
    NoteDamage(text);
  }
  // A table whose count runs past its chunk.
  void NoteTable(const Chunk& c) {
    char text[120];
    std::snprintf(text, sizeof text, "chunk 0x%04X at byte %zu holds less data than its count gives", c.id, c.start);
    NoteDamage(text);
  }
  void NoteDamage(std::string text) {
    if (damage_.empty()) damage_ = std::move(text);
  }

  // True once the process is asked to stop (looked at every 4096 calls; stays true after):
  // a file of half a million objects takes seconds to walk.
  bool Stopped() {
    if (!stopped_ && (++polls_ & 0xFFF) == 0) stopped_ = StopSignalReceived();
    return stopped_;
  }

  // Walks the sub-chunks in [from, end), handing each to visit; stops at a bad length or a stop.
  template <class F>
  void Children(size_t from, size_t end, F&& visit) {
    Chunk c;
    for (size_t pos = from; !Stopped() && ChunkAt(pos, end, &c); pos = c.end) visit(c);
  }

  // A zero-terminated text from p inside chunk c, at most keep characters kept; p moves past
  // the terminator. A text that runs to the chunk's end without one is damage.
  std::string Text(const Chunk& c, size_t& p, size_t keep = kMaxText) {
    std::string t;
    while (p < c.end) {
      const char ch = s_[p++];
      if (ch == 0) return t;
      if (t.size() < keep) t += ch;
    }
    char text[120];
    std::snprintf(text, sizeof text, "the name in chunk 0x%04X at byte %zu has no end", c.id, c.start);
    NoteDamage(text);
    return t;
  }

  // --- main and editor ---
  // Every main chunk in a row from the start of the file; a chunk longer than the file ends
  // at the file's end.
  void WalkMainChunks() {
    size_t pos = 0;
    while (pos + 6 <= s_.size() && U16(pos) == kMain) {
      const uint32_t len = U32(pos + 2);
      if (len < 6) return NoteShort(kMain, pos, len);
      if (len > s_.size() - pos) NoteOverrun(kMain, pos, "the file");
      const size_t end = len > s_.size() - pos ? s_.size() : pos + len;
      WalkMain(pos + 6, end);
      pos = end;
    }
  }

  // The main chunk's children: the editor and the keyframer; any other word is stepped over
  // two bytes at a time (the version chunk that comes first is passed that way).
  void WalkMain(size_t pos, size_t end) {
    while (pos + 2 <= end && !Stopped()) {
      const uint16_t id = U16(pos);
      if (id != kEditor && id != kKeyframer) {
        pos += 2;
        continue;
      }
      Chunk c;
      if (!ChunkAt(pos, end, &c)) return;
      if (id == kEditor) {
        if (pass_ == 2) Editor(c);
      } else {
        Keyframer(c);
      }
      pos = c.end;
    }
  }

  void Editor(const Chunk& e) {
    Children(e.data, e.end, [&](const Chunk& c) {
      if (c.id == kMaterial) MaterialBlock(c);
      else if (c.id == kObject) Object(c);
    });
    CloseFramesTo(0);
  }

  // --- materials ---
  void Colour(const Chunk& parent, float out[3]) {
    Children(parent.data, parent.end, [&](const Chunk& c) {
      if (c.id == kColourF && c.end - c.data >= 12) {
        for (int i = 0; i < 3; ++i) out[i] = F32(c.data + 4 * size_t(i));
      } else if (c.id == kColour24 && c.end - c.data >= 3) {
        for (int i = 0; i < 3; ++i) out[i] = float(B(c.data + size_t(i))) / 255.0f;
      }
    });
  }

  void Percentage(const Chunk& parent, float* out) {
    Children(parent.data, parent.end, [&](const Chunk& c) {
      if (c.id == kPercentInt && c.end - c.data >= 2) *out = float(U16(c.data));
      else if (c.id == kPercentFloat && c.end - c.data >= 4) *out = F32(c.data);
    });
  }

  void MaterialBlock(const Chunk& m) {
    Material3ds mat;
    Children(m.data, m.end, [&](const Chunk& c) {
      size_t p = c.data;
      switch (c.id) {
        case kMatName: {
          std::string name = Text(c, p);
          if (!name.empty()) mat.name = std::move(name);
          break;
        }
        case kMatDiffuse: Colour(c, mat.diffuse); break;
        case kMatSpecular: Colour(c, mat.specular); break;
        case kMatShininess: Percentage(c, &mat.shininess); break;
        case kMatTexture:
          Percentage(c, &mat.texturePercent);
          Children(c.data, c.end, [&](const Chunk& t) {
            if (t.id != kMatTextureFile) return;
            size_t q = t.data;
            mat.textureFile = Text(t, q);
            mat.hasTexture = true;
          });
          break;
        default: break;
      }
    });
    materialsDefined_.insert(mat.name);
    sink_.Material(mat);
  }

  // --- objects ---
  int32_t ParentOf(int64_t k) const {
    if (k < 0 || k >= objectCount_ || k >= kTableSize) return -1;
    const int32_t p = parent_[size_t(k)];
    return p >= 0 && p < kTableSize ? p : -1;
  }

  void CloseFramesTo(size_t target) {
    for (; depth_ > target; --depth_) sink_.FrameClose();
  }

  void Object(const Chunk& o) {
    size_t p = o.data;
    // At most 11 characters are kept (the format's limit); a longer name is read to its end.
    std::string name = Text(o, p, 11);
    for (char& ch : name)
      if (ch == ' ') ch = '_';
    if (name.empty()) name = "Default name";
    const int64_t k = ++objectIndex_;
    if (k < kTableSize) depthAt_[size_t(k)] = uint32_t(depth_);
    if (depth_ < placingAt_.size()) std::memcpy(placingAt_[depth_].m, placing_, sizeof placing_);
    float parentMatrix[16];
    std::memcpy(parentMatrix, placing_, sizeof placing_);
    sink_.FrameOpen(name);
    ++depth_;
    Children(p, o.end, [&](const Chunk& c) {
      if (c.id == kTriMesh) TriMesh(c, name, parentMatrix, k);
    });
    // Frame nesting: the next object opens inside this one when its parent index is larger;
    // otherwise frames close down to the next object's parent (all of them for none).
    const int32_t pk = ParentOf(k), pn = ParentOf(k + 1);
    if (pn > pk) return;
    const size_t target = pn < 0 ? 0 : size_t(depthAt_[size_t(pn)]) + 1;
    CloseFramesTo(target);
    if (target < placingAt_.size()) std::memcpy(placing_, placingAt_[target].m, sizeof placing_);
  }

  void TriMesh(const Chunk& t, const std::string& name, const float parentMatrix[16], int64_t k) {
    MeshState m;
    SetMatrixIdentity(m.local);
    Children(t.data, t.end, [&](const Chunk& c) {
      const size_t avail = c.end - c.data;
      switch (c.id) {
        case kVertices: {
          const size_t n = avail >= 2 ? U16(c.data) : 0;
          if (avail < 2 || (avail - 2) / 12 < n) return NoteTable(c);
          m.positions.resize(n * 3);
          for (size_t i = 0; i < n; ++i) {
            const size_t q = c.data + 2 + 12 * i;
            m.positions[3 * i] = F32(q);
            m.positions[3 * i + 1] = F32(q + 8);
            m.positions[3 * i + 2] = F32(q + 4);
          }
          break;
        }
        case kFaces: {
          const size_t n = avail >= 2 ? U16(c.data) : 0;
          if (avail < 2 || (avail - 2) / 8 < n) return NoteTable(c);
          m.faces.resize(n * 3);
          for (size_t i = 0; i < n; ++i) {
            const size_t q = c.data + 2 + 8 * i;
            m.faces[3 * i] = U16(q);
            m.faces[3 * i + 1] = U16(q + 4);
            m.faces[3 * i + 2] = U16(q + 2);
          }
          Children(c.data + 2 + 8 * n, c.end, [&](const Chunk& f) {
            if (f.id != kFaceMaterial) return;
            size_t q = f.data;
            m.materialName = Text(f, q);
            FaceGroup(f, q, n, name);
          });
          break;
        }
        case kTexCoords: {
          const size_t n = avail >= 2 ? U16(c.data) : 0;
          if (avail < 2 || (avail - 2) / 8 < n) return NoteTable(c);
          m.texCoords.resize(n * 2);
          for (size_t i = 0; i < 2 * n; ++i) m.texCoords[i] = F32(c.data + 2 + 4 * i);
          break;
        }
        case kLocalAxes: {
          if (avail < 48) break;
          float raw[4][3];
          for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 3; ++col) raw[r][col] = F32(c.data + 12 * size_t(r) + 4 * size_t(col));
          // Columns 1 and 2 exchanged in every row, then rows 1 and 2 exchanged.
          const int rowOf[4] = {0, 2, 1, 3};
          for (int r = 0; r < 4; ++r) {
            const float* src = raw[rowOf[r]];
            m.local[4 * r] = src[0];
            m.local[4 * r + 1] = src[2];
            m.local[4 * r + 2] = src[1];
            m.local[4 * r + 3] = r == 3 ? 1.0f : 0.0f;
          }
          m.hasLocal = true;
          break;
        }
        default: break;
      }
    });
    EmitMesh(m, name, parentMatrix, k);
  }

  // The faces of a material group after its name at p: a count, then face indexes, each
  // below the mesh's face count.
  void FaceGroup(const Chunk& g, size_t p, size_t faces, const std::string& object) {
    const size_t n = g.end - p >= 2 ? U16(p) : 0;
    if (g.end - p < 2 || (g.end - p - 2) / 2 < n) return NoteTable(g);
    for (size_t i = 0; i < n; ++i)
      if (const size_t f = U16(p + 2 + 2 * i); f >= faces)
        return NoteDamage("object " + object + " has a material group that names face " + std::to_string(f) + " of " +
                          std::to_string(faces));
  }

  void EmitMesh(MeshState& m, const std::string& name, const float parentMatrix[16], int64_t k) {
    const size_t nv = m.positions.size() / 3;
    if (m.faces.empty()) return NoteDamage("object " + name + " has a mesh of no face");
    for (uint32_t idx : m.faces)
      if (idx >= nv) {
        NoteDamage("object " + name + " has a face that names vertex " + std::to_string(idx) + " of " + std::to_string(nv));
        return;
      }
    Mesh3ds out;
    out.name = name;
    out.materialName = std::move(m.materialName);
    out.faces = std::move(m.faces);
    // Face-corner normals on the positions as read: (next - here) x (previous - here).
    out.normals.resize(out.faces.size() * 3);
    for (size_t f = 0; f < out.faces.size(); f += 3)
      for (size_t c = 0; c < 3; ++c) {
        const float* p = &m.positions[3 * out.faces[f + c]];
        const float* a = &m.positions[3 * out.faces[f + (c + 1) % 3]];
        const float* b = &m.positions[3 * out.faces[f + (c + 2) % 3]];
        const double u[3] = {double(a[0]) - p[0], double(a[1]) - p[1], double(a[2]) - p[2]};
        const double v[3] = {double(b[0]) - p[0], double(b[1]) - p[1], double(b[2]) - p[2]};
        double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        float* o = &out.normals[3 * (f + c)];
        for (int i = 0; i < 3; ++i) o[i] = len == 0.0 ? float(1.0 / std::sqrt(3.0)) : float(n[i] / len);
      }
    // Positions into the object's own frame, relative to its pivot.
    float inv[16];
    if (InvertAffineMatrix(inv, m.local) != kMathOk) SetMatrixIdentity(inv);
    if (k >= 0 && k < kTableSize) SubtractVector3InPlace(inv + 12, pivot_[size_t(k)].v);
    out.positions.resize(m.positions.size());
    for (size_t i = 0; i < nv; ++i) {
      const float* p = &m.positions[3 * i];
      for (int c = 0; c < 3; ++c)
        out.positions[3 * i + size_t(c)] = float(double(p[0]) * inv[c] + double(p[1]) * inv[4 + c] +
                                                  double(p[2]) * inv[8 + c] + inv[12 + c]);
    }
    float invParent[16];
    if (InvertAffineMatrix(invParent, parentMatrix) != kMathOk) SetMatrixIdentity(invParent);
    MultiplyMatrix4x4(out.frameMatrix, m.local, invParent);
    out.hasFrameMatrix = m.hasLocal;
    std::memcpy(placing_, m.local, sizeof placing_);
    m.texCoords.resize(nv * 2, 0.0f);
    out.texCoords = std::move(m.texCoords);
    if (!out.materialName.empty()) materialsUsed_.emplace_back(name, out.materialName);
    sink_.Mesh(out);
  }

  // --- keyframer ---
  void Keyframer(const Chunk& kf) {
    Children(kf.data, kf.end, [&](const Chunk& c) {
      if (c.id == kNode) KeyframerNode(c);
    });
  }

  void KeyframerNode(const Chunk& n) {
    if (pass_ == 2) nodes_.emplace_back();
    bool instanced = false;
    Children(n.data, n.end, [&](const Chunk& c) {
      size_t p = c.data;
      switch (c.id) {
        case kNodeHeader: {
          std::string name = Text(c, p);
          if (pass_ == 2) {
            nodes_.back().name = std::move(name);
          } else if (name != "$$$DUMMY" && c.end - p >= 6) {
            if (objectCount_ < kTableSize) {
              parent_[size_t(objectCount_)] = int16_t(U16(p + 4));
              pivot_[size_t(objectCount_)] = {};
            }
            ++objectCount_;
          }
          break;
        }
        case kInstanceName: instanced = true; break;
        case kPivot:
          if (pass_ == 1 && objectCount_ > 0 && objectCount_ <= kTableSize && c.end - p >= 12) {
            float* v = pivot_[size_t(objectCount_ - 1)].v;
            v[0] = F32(p), v[1] = F32(p + 8), v[2] = F32(p + 4);
          }
          break;
        case kPositionTrack:
          if (pass_ == 2) Track(c, &nodes_.back().position, 3);
          break;
        case kScaleTrack:
          if (pass_ == 2) Track(c, &nodes_.back().scale, 3);
          break;
        case kRotationTrack:
          if (pass_ == 2) Track(c, &nodes_.back().rotation, 4);
          break;
        default: break;
      }
    });
    // Instanced nodes produce no animation.
    if (pass_ == 2 && instanced) nodes_.pop_back();
  }

  // Track header: five words, the key count (u16 and one more word); per key the frame (u16,
  // then the high word and the spline flags), one float per set flag bit, then the values.
  // Keys that would run past the chunk are dropped, as damage.
  void Track(const Chunk& c, std::vector<Key3ds>* keys, int values) {
    if (c.end - c.data < 14) return NoteTable(c);
    const uint32_t count = U16(c.data + 10);
    size_t p = c.data + 14;
    Quaternion total;
    for (uint32_t i = 0; i < count; ++i) {
      if (c.end - p < 6) return NoteTable(c);
      Key3ds key;
      key.frame = U16(p);
      const uint16_t flags = U16(p + 4);
      const size_t need = 4 * (size_t(std::popcount(flags)) + size_t(values));
      if (c.end - p - 6 < need) return NoteTable(c);
      p += 6 + 4 * size_t(std::popcount(flags));
      float f[4];
      for (int v = 0; v < values; ++v) f[v] = F32(p + 4 * size_t(v));
      p += 4 * size_t(values);
      if (values == 3) {
        key.v[0] = f[0], key.v[1] = f[2], key.v[2] = f[1];
      } else {
        // Angle and axis; the axis is turned into the X convention (-x, -z, -y) and every key
        // after the first is composed with the one before, so keys hold absolute rotations.
        const float axis[3] = {-f[1], -f[3], -f[2]};
        const Quaternion q = QuaternionFromRotation(axis, f[0]);
        total = keys->empty() ? q : QuaternionMultiply(total, q);
        key.v[0] = total.w, key.v[1] = total.x, key.v[2] = total.y, key.v[3] = total.z;
      }
      keys->push_back(key);
    }
  }

  std::string_view s_;
  Sink3ds& sink_;
  int pass_ = 1;
  // Keyframer hierarchy (pass 1).
  int64_t objectCount_ = 0;
  int16_t parent_[kTableSize] = {};
  struct Vec {
    float v[3] = {0, 0, 0};
  } pivot_[kTableSize];
  // Frames and placement (pass 2).
  uint32_t depthAt_[kTableSize] = {};
  std::vector<Matrix> placingAt_;
  float placing_[16];
  int64_t objectIndex_ = -1;
  size_t depth_ = 0;
  std::vector<Node3ds> nodes_;
  // Material names the material chunks define, and those the meshes name with their objects.
  std::set<std::string> materialsDefined_;
  std::vector<std::pair<std::string, std::string>> materialsUsed_;
  uint32_t polls_ = 0;
  bool stopped_ = false;
  std::string damage_;
};

}  // namespace

bool Read3dsFile(std::string_view bytes, Sink3ds& sink, std::string* damage) {
  auto reader = std::make_unique<Reader>(bytes, sink);
  const bool whole = reader->Run();
  if (damage) *damage = reader->Damage();
  return whole;
}
