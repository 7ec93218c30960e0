// The static world's file: texture groups with their objects, then the boxes, little-endian,
// with one DDS image per textured group beside it.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "display/imagefiles/image_files.h"
#include "display/textures.h"
#include "platform/binary_file.h"
#include "platform/fs.h"
#include "platform/stop_request.h"
#include "scene3d/static/static_world.h"

namespace {

// Bytes of one object record after its two arrays.
constexpr size_t kRecordTail = 145;

void PutU8(std::string& s, uint8_t v) { s.push_back(char(v)); }
void PutU32(std::string& s, uint32_t v) {
  for (int k = 0; k < 4; ++k) s.push_back(char(v >> (8 * k)));
}
void PutF32(std::string& s, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  PutU32(s, v);
}

class Reader {
 public:
  explicit Reader(const std::string& s) : p_(reinterpret_cast<const uint8_t*>(s.data())), left_(s.size()) {}
  bool Has(uint64_t n) const { return n <= left_; }
  uint8_t U8() {
    --left_;
    return *p_++;
  }
  uint16_t U16() {
    const uint16_t v = uint16_t(p_[0] | p_[1] << 8);
    p_ += 2, left_ -= 2;
    return v;
  }
  uint32_t U32() {
    const uint32_t v = uint32_t(p_[0]) | uint32_t(p_[1]) << 8 | uint32_t(p_[2]) << 16 | uint32_t(p_[3]) << 24;
    p_ += 4, left_ -= 4;
    return v;
  }
  float F32() {
    const uint32_t v = U32();
    float f;
    std::memcpy(&f, &v, 4);
    return f;
  }

 private:
  const uint8_t* p_;
  size_t left_;
};

void EncodeObject(std::string& s, const StaticObject& o) {
  PutU32(s, uint32_t(o.vertices.size()));
  for (const Vertex& v : o.vertices)
    for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v}) PutF32(s, f);
  PutU32(s, uint32_t(o.indices.size()));
  for (uint16_t i : o.indices) PutU8(s, uint8_t(i)), PutU8(s, uint8_t(i >> 8));
  for (float f : {o.centre[0], o.centre[1], o.centre[2], o.radius, o.verticalRadius}) PutF32(s, f);
  for (uint8_t b : {o.visible, o.occluder, o.low, o.shapeDropped, o.fullHeight}) PutU8(s, b);
  for (float f : o.shapePoints) PutF32(s, f);
  for (float f : o.shapeBox) PutF32(s, f);
}

// Every count is checked against the bytes left before anything is read under it.
bool DecodeObject(Reader& r, StaticObject& o) {
  if (!r.Has(4)) return false;
  const uint32_t v = r.U32();
  if (!r.Has(uint64_t(v) * 32 + 4)) return false;
  o.vertices.resize(v);
  for (Vertex& x : o.vertices) {
    float* f[8] = {&x.x, &x.y, &x.z, &x.nx, &x.ny, &x.nz, &x.u, &x.v};
    for (float* p : f) *p = r.F32();
  }
  const uint32_t n = r.U32();
  if (n % 3 != 0 || !r.Has(uint64_t(n) * 2 + kRecordTail)) return false;
  o.indices.resize(n);
  for (uint16_t& i : o.indices) {
    i = r.U16();
    if (i >= v) return false;
  }
  for (float* f : {&o.centre[0], &o.centre[1], &o.centre[2], &o.radius, &o.verticalRadius}) *f = r.F32();
  for (uint8_t* b : {&o.visible, &o.occluder, &o.low, &o.shapeDropped, &o.fullHeight}) *b = r.U8();
  for (float& f : o.shapePoints) f = r.F32();
  for (float& f : o.shapeBox) f = r.F32();
  if (o.occluder == 1 && o.shapeDropped == 1) o.vertices = {}, o.indices = {};
  return true;
}

std::string SideImageName(const std::string& file, int32_t texture) {
  return file + "_" + std::to_string(texture) + ".dds";
}

// The texture's top level as the bytes of a DDS file; "" when the texture has no image (the
// loader then finds none and the group draws untextured). False when it cannot be encoded.
bool EncodeSideImage(int32_t texture, std::string* bytes) {
  bytes->clear();
  TextureContainer* c = TextureAt(uint32_t(texture));
  if (!c) return true;
  const std::vector<TextureLevel> levels = c->Texels();
  if (levels.empty() || levels[0].width < 1 || levels[0].height < 1) return true;
  const TextureLevel& top = levels[0];
  SurfacePtr s = SurfaceCreate(top.width, top.height, 32);
  if (!s) return false;
  for (int32_t y = 0; y < top.height; ++y)
    for (int32_t x = 0; x < top.width; ++x)
      s->PutPixel(x, y, NarrowRgbToPixel(s->Format(), top.texels[size_t(y) * size_t(top.width) + size_t(x)] & 0xFFFFFFu));
  return EncodeImage(*s, "dds", bytes);
}

// A file written in full to a temporary file beside its target, not yet in place.
struct PendingFile {
  std::string target, temp;
};

// Writes the bytes to a new temporary file beside target; on failure the temporary file is
// gone and *error holds the cause's errno (0 when there is none).
bool WritePending(const std::string& target, const std::string& bytes, std::vector<PendingFile>* pending,
                  int* error) {
  PendingFile p{target, {}};
  errno = 0;
  const int fd = FsCreateTempBeside(target, p.temp);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  BinaryFile out;
  out.Adopt(fd, true);
  bool ok = out.Write(bytes.data(), bytes.size());
  ok = out.Close() && ok;
  if (!ok) {
    *error = out.Error();
    FsDeleteFile(p.temp);
    return false;
  }
  pending->push_back(std::move(p));
  return true;
}

}  // namespace

std::string EncodeStaticWorld() {
  if (!StaticWorldHoldsData()) return {};
  std::string s;
  for (const StaticTextureGroup& g : g_staticWorld.groups) {
    PutU8(s, 1);
    PutU32(s, uint32_t(g.texture));
    for (const auto& o : g.objects) {
      PutU8(s, 1);
      EncodeObject(s, *o);
    }
    PutU8(s, 0);
  }
  PutU8(s, 0);
  for (const StaticBox& b : g_staticWorld.boxes) {
    PutU8(s, 1);
    for (float f : {b.min[0], b.min[1], b.min[2], b.max[0], b.max[1], b.max[2]}) PutF32(s, f);
  }
  PutU8(s, 0);
  return s;
}

int32_t SaveStaticWorld(const std::string& file, std::string* why) {
  const std::string bytes = EncodeStaticWorld();
  if (bytes.empty()) return 0;
  // Every file is written in full before any of them replaces its old self, so a full disk or
  // a size limit leaves the old world and its side images as they were.
  std::vector<PendingFile> pending;
  int error = 0;
  bool ok = true;
  std::string failed = file;  // the file the cause is of
  for (const StaticTextureGroup& g : g_staticWorld.groups) {
    if (g.texture <= 0) continue;
    std::string image;
    if (!EncodeSideImage(g.texture, &image)) {
      ok = false;
      break;
    }
    if (!image.empty() && !WritePending(SideImageName(file, g.texture), image, &pending, &error)) {
      failed = SideImageName(file, g.texture);
      ok = false;
      break;
    }
  }
  ok = ok && WritePending(file, bytes, &pending, &error);
  // A folder or a read-only file in the way of any of them stops the save before one file is
  // replaced.
  for (const PendingFile& p : pending) {
    if (ok && FsFolderExists(p.target)) ok = false, error = EISDIR, failed = p.target;
    if (ok && FsReadOnlyTarget(p.target)) ok = false, error = EACCES, failed = p.target;
  }
  // The world file goes into place last, once its side images are there.
  for (const PendingFile& p : pending) {
    if (!ok) {
      FsDeleteFile(p.temp);
    } else if (!FsCommitTemp(p.temp, p.target)) {
      ok = false;
      error = errno;
      failed = p.target;
    }
  }
  if (ok) return 1;
  // The cause is said of the world file; one of a side image names that image.
  if (why) *why = (failed != file ? failed + ": " : "") + (error != 0 ? FsProgramWriteCause(failed, error) : "the file cannot be written");
  return -1;
}

bool DecodeStaticWorld(const std::string& bytes, std::vector<StaticTextureGroup>* groups,
                       std::vector<StaticBox>* boxes) {
  Reader r(bytes);
  // A file of millions of groups or objects takes seconds: a stop gives it up (as unsound).
  uint32_t records = 0;
  const auto stopped = [&records] { return (++records & 0xFFFF) == 0 && StopSignalReceived(); };
  for (;;) {
    if (!r.Has(1) || stopped()) return false;
    const uint8_t m = r.U8();
    if (m == 0) break;
    if (m != 1 || !r.Has(4)) return false;
    StaticTextureGroup g;
    g.texture = int32_t(r.U32());
    for (;;) {
      if (!r.Has(1)) return false;
      const uint8_t om = r.U8();
      if (om == 0) break;
      if (om != 1 || stopped()) return false;
      auto o = std::make_unique<StaticObject>();
      if (!DecodeObject(r, *o)) return false;
      g.objects.push_back(std::move(o));
    }
    groups->push_back(std::move(g));
  }
  for (;;) {
    if (!r.Has(1)) return false;
    const uint8_t m = r.U8();
    if (m == 0) return true;  // what follows is not read
    if (m != 1 || !r.Has(24) || stopped()) return false;
    StaticBox b;
    for (float& f : b.min) f = r.F32();
    for (float& f : b.max) f = r.F32();
    boxes->push_back(b);
  }
}

bool TakeSideImages(std::vector<StaticTextureGroup>* groups, const std::string& base) {
  // Groups of one number share a side image: each name is looked for once, so a missing one
  // does not send every group of its number to the folder again.
  std::unordered_set<int32_t> missing;
  for (size_t k = 0; k < groups->size(); ++k) {
    if ((k & 0xFFF) == 0xFFF && StopSignalReceived()) {
      for (size_t j = 0; j < k; ++j) ReleaseTexture((*groups)[j].texture, false);
      return false;
    }
    // The group takes the texture of its side image: one already in the list by that name is
    // shared, else the file is loaded (0 when it cannot be).
    int32_t& texture = (*groups)[k].texture;
    if (texture == 0 || missing.contains(texture)) {
      texture = 0;
      continue;
    }
    const int32_t number = texture;
    ++g_staticWorld.sideImageLookups;
    texture = LoadTextureByName(SideImageName(base, number));
    if (texture == 0) missing.insert(number);
  }
  return true;
}

int32_t LoadStaticWorld(const std::string& file, const std::string& sideImageBase, std::string* why) {
  auto fail = [&](std::string cause) {
    if (why) *why = std::move(cause);
    return 0;
  };
  std::string bytes;
  errno = 0;
  // A world is far below this; a larger file is not one.
  const FsRead read = FsReadRegularFile(file, bytes, uint64_t(1) << 31, false);
  if (read != FsRead::kOk) return fail(FsReadCause(read, "a static world"));
  if (bytes.empty()) return fail("empty");
  std::vector<StaticTextureGroup> groups;
  std::vector<StaticBox> boxes;
  if (!DecodeStaticWorld(bytes, &groups, &boxes))
    return fail(StopSignalReceived() ? "the load was stopped" : "damaged, or not a static world");
  // A save writes no world without data: a file of none is no world the load can give.
  if (groups.empty() && boxes.empty()) return fail("holds no static world");
  if (!TakeSideImages(&groups, sideImageBase.empty() ? file : sideImageBase)) return fail("the load was stopped");
  StaticWorldState& w = g_staticWorld;
  uint32_t maxVertices = 0, maxIndices = 0;
  for (const StaticTextureGroup& g : groups)
    for (const auto& o : g.objects) {
      maxVertices = std::max(maxVertices, uint32_t(o->vertices.size()));
      maxIndices = std::max(maxIndices, uint32_t(o->indices.size()));
    }
  // The old world lets go of its textures only now, so one the new world shares stays loaded.
  FreeStaticWorldLists();
  w.groups = std::move(groups);
  w.boxes = std::move(boxes);
  if (maxVertices > w.vertexCapacity) ReserveStaticWorld(maxVertices);
  if (maxIndices > w.indexCapacity) {
    w.indexCapacity = maxIndices;
    ReserveStaticWorld(w.vertexCapacity);
  }
  return 1;
}
