// .x files into model trees and animation tracks.
#include "model/x_loader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "model/model_textures.h"
#include "platform/fs.h"
#include "platform/stop_request.h"
#include "model/xfile/damage.h"
#include "model/xfile/mesh_builder.h"
#include "model/mesh_node.h"

namespace {

// Largest model file read.
constexpr uint64_t kMaxModelBytes = uint64_t(1) << 30;
// Materials one mesh holds; faces naming a material beyond them are left out of the split.
constexpr uint32_t kMaxMaterials = 256;
// Vertex copies a mesh split by material may make before each part keeps only its own vertices.
constexpr uint64_t kMaxSplitVertices = uint64_t(1) << 22;

// What a mesh being read collects from its material list.
struct MaterialWork {
  uint32_t count = 0;  // materials the list declares (at most kMaxMaterials)
  std::vector<uint32_t> faceIndexes;
  MeshMaterial materials[kMaxMaterials];
  int32_t textures[kMaxMaterials] = {};
  std::string textureNames[kMaxMaterials];
  uint32_t current = 0;
};

uint8_t ColourByte(float f) {
  const float v = f * 255.0f;
  return !(v > 0.0f) ? 0 : v >= 255.0f ? 255 : uint8_t(v);
}

// A texture file name as the textures are kept: the ending after the last dot becomes "bmp".
std::string TextureFileName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name;
  return name.substr(0, dot) + ".bmp";
}

void LoadMaterial(const XObject& o, MaterialWork* work) {
  XDataCursor c(o);
  float v[11];
  if (!c.Floats(v, 11)) return;
  const uint32_t i = work->current;
  if (i >= kMaxMaterials) return;
  MeshMaterial& m = work->materials[i];
  for (int k = 0; k < 4; ++k) m.diffuse[k] = m.ambient[k] = v[k];
  m.power = v[4];
  for (int k = 0; k < 3; ++k) m.specular[k] = v[5 + k], m.emissive[k] = v[8 + k];
  m.specular[3] = m.emissive[3] = 0.0f;
  // The texture comes from the first child only.
  if (!o.children.empty() && o.children[0]->Is("TextureFilename")) {
    XDataCursor t(*o.children[0]);
    std::string file;
    if (!t.String(&file)) return;
    const std::string name = TextureFileName(file);
    const int32_t texture = LoadModelTexture(name);
    if (texture > 0) {
      work->textures[i] = texture;
      work->textureNames[i] = name;
    }
  }
  if (work->textures[i] > 0) return;
  // No texture: a one-colour texture of the face colour, unless it is white. It has no file
  // name: the texture name stays empty.
  const uint32_t colour = uint32_t(ColourByte(v[2])) | uint32_t(ColourByte(v[1])) << 8 | uint32_t(ColourByte(v[0])) << 16;
  if (colour == 0xFFFFFF) return;
  work->textures[i] = LoadModelColourTexture(colour);
}

void LoadMaterialList(const XObject& o, MaterialWork* work) {
  XDataCursor c(o);
  uint32_t materials, indexes;
  if (!c.Int(&materials) || !c.Int(&indexes)) return;
  work->count = std::min(materials, kMaxMaterials);
  work->faceIndexes.resize(std::min<size_t>(indexes, c.Remaining()));
  for (uint32_t& f : work->faceIndexes) c.Int(&f);
  work->current = 0;
  for (const auto& child : o.children) {
    const XObject* target = child->Resolved();
    if (target && target->Is("Material")) LoadMaterial(*target, work);
    ++work->current;
  }
}

// Gives the mesh material i and its texture (the mesh then owns a reference).
void TakeMaterial(MeshNode* mesh, MaterialWork& work, uint32_t i) {
  mesh->material = work.materials[i];
  if (work.textures[i] > 0) {
    mesh->textureNumber = work.textures[i];
    mesh->textureName = work.textureNames[i];
    mesh->textureOwned = 1;
    work.textures[i] = 0;
  }
}

// Appends nodes under a parent, keeping the end of its chain: a frame of 100,000 children is
// built in linear time, where adding each at the end of the chain walked it every time.
class ChildAppender {
 public:
  explicit ChildAppender(SceneNode* parent) : parent_(parent) {
    for (SceneNode* n = parent->firstChild; n; n = n->nextSibling) last_ = n;
  }
  void Add(SceneNode* child) {
    if (last_) last_->AppendSiblingNode(child);
    else parent_->AddChildNode(child);
    last_ = child;
  }

 private:
  SceneNode* parent_;
  SceneNode* last_ = nullptr;
};

// Building a tree polls the stop request as the reader does: a file of millions of frames
// takes seconds to build after its read.
class StopPoll {
 public:
  // True once the process is asked to stop (checked every 4096 calls; stays true after).
  bool Stopped() {
    if (!stopped_ && (++calls_ & 0xFFF) == 0) stopped_ = StopSignalReceived();
    return stopped_;
  }

 private:
  uint32_t calls_ = 0;
  bool stopped_ = false;
};

// True when a mesh node stands anywhere below the node (walked without a call a level).
bool HoldsMesh(SceneNode* top) {
  bool found = false;
  WalkNodes(
      top,
      [&](SceneNode* n) {
        found = found || !n->IsFrame();
        return found ? NodeWalk::kEnd : NodeWalk::kInto;
      },
      [](SceneNode*) {});
  return found;
}

void LoadMesh(const XObject& o, ChildAppender& frame, uint32_t number) {
  XMeshGeometry g;
  if (!ReadXMeshGeometry(o, &g)) return;
  const uint32_t nv = g.VertexCount();
  auto mesh = std::make_unique<MeshNode>(o.name.c_str(), nv, g.positions.data(), g.faceCount, g.faceWords.data(),
                                         g.faceWords.size(), false);
  mesh->limbNumber = number;
  auto work = std::make_unique<MaterialWork>();
  bool haveNormals = false;
  for (const auto& child : o.children) {
    if (child->Is("MeshMaterialList")) {
      LoadMaterialList(*child, work.get());
    } else if (child->Is("MeshNormals")) {
      XMeshNormals n;
      if (ReadXMeshNormals(*child, &n) && n.normals.size() == size_t(nv) * 3) {
        mesh->SetNormals(n.normals.data());
        haveNormals = true;
      }
    } else if (child->Is("MeshTextureCoords")) {
      std::vector<float> uvs;
      if (ReadXTextureCoords(*child, &uvs) && uvs.size() == size_t(nv) * 2) mesh->SetTextureCoordinates(uvs.data());
    }
  }
  if (!haveNormals) mesh->ComputeNormals();
  if (work->count < 2) {
    TakeMaterial(mesh.get(), *work, 0);
    frame.Add(mesh.release());
  } else {
    // One mesh node per material, each with the faces of that material and all the vertices.
    // Where that would copy the vertices past the limit, each keeps only those its faces use.
    const bool compact = uint64_t(work->count) * nv > kMaxSplitVertices;
    for (uint32_t i = 0; i < work->count; ++i) {
      std::vector<uint32_t> faces;
      uint32_t count = 0;
      size_t at = 0;
      for (size_t f = 0; f < work->faceIndexes.size() && f < g.faceCount; ++f) {
        const size_t len = size_t(g.faceWords[at]) + 1;
        if (work->faceIndexes[f] == i) {
          faces.insert(faces.end(), g.faceWords.begin() + ptrdiff_t(at), g.faceWords.begin() + ptrdiff_t(at + len));
          ++count;
        }
        at += len;
      }
      std::vector<uint32_t> kept;  // old index of each vertex the part keeps
      std::vector<float> positions;
      if (compact) {
        std::vector<uint32_t> newIndex(nv, UINT32_MAX);
        for (size_t w = 0; w < faces.size(); w += size_t(faces[w]) + 1)
          for (size_t c = w + 1; c <= w + faces[w]; ++c) {
            uint32_t& v = faces[c];
            if (v >= nv) continue;
            if (newIndex[v] == UINT32_MAX) newIndex[v] = uint32_t(kept.size()), kept.push_back(v);
            v = newIndex[v];
          }
        for (uint32_t v : kept) positions.insert(positions.end(), &g.positions[3 * size_t(v)], &g.positions[3 * size_t(v)] + 3);
      } else {
        for (uint32_t k = 0; k < nv; ++k) kept.push_back(k);
      }
      const float* from = compact ? positions.data() : g.positions.data();
      const std::string name = std::string(mesh->name) + "_" + std::to_string(i);
      auto part = std::make_unique<MeshNode>(name.c_str(), uint32_t(kept.size()), from, count, faces.data(), faces.size(), false);
      part->limbNumber = number;
      TakeMaterial(part.get(), *work, i);
      for (size_t k = 0; k < part->vertices.size(); ++k) {
        Vertex& v = part->vertices[k];
        const Vertex& src = mesh->vertices[kept[k]];
        v.nx = src.nx, v.ny = src.ny, v.nz = src.nz, v.u = src.u, v.v = src.v;
      }
      frame.Add(part.release());
    }
  }
  // Textures of materials no mesh took are given back.
  for (int32_t& t : work->textures)
    if (t > 0) ReleaseModelTexture(t), t = 0;
}

uint32_t LoadFrame(const XObject& o, ChildAppender& parent, uint32_t number, StopPoll& stop) {
  auto frame = std::make_unique<FrameNode>(o.name.c_str());
  frame->limbNumber = number;
  ChildAppender children(frame.get());
  for (const auto& child : o.children) {
    if (stop.Stopped()) break;
    if (child->Is("Frame")) {
      number = LoadFrame(*child, children, number + 1, stop);
    } else if (child->Is("Mesh")) {
      LoadMesh(*child, children, number);
    } else if (child->Is("FrameTransformMatrix")) {
      XDataCursor c(*child);
      float m[16];
      if (c.Remaining() == 16 && c.Floats(m, 16)) std::memcpy(frame->localMatrix, m, sizeof m);
    }
  }
  parent.Add(frame.release());
  return number;
}

// The keys (stride floats each, the time first) in increasing time order, as playback and the
// frame count read them; keys of equal time keep their order in the file.
std::vector<float> InTimeOrder(std::vector<float> keys, uint32_t stride) {
  const size_t n = keys.size() / stride;
  std::vector<uint32_t> order(n);
  for (size_t k = 0; k < n; ++k) order[k] = uint32_t(k);
  auto earlier = [&](uint32_t a, uint32_t b) { return keys[size_t(a) * stride] < keys[size_t(b) * stride]; };
  if (std::is_sorted(order.begin(), order.end(), earlier)) return keys;
  std::stable_sort(order.begin(), order.end(), earlier);
  std::vector<float> sorted;
  sorted.reserve(keys.size());
  for (uint32_t k : order) {
    const auto first = keys.begin() + ptrdiff_t(size_t(k) * stride);
    sorted.insert(sorted.end(), first, first + stride);
  }
  return sorted;
}

// Keys of one AnimationKey: time, value count, values. A key with fewer values than its kind
// needs, or one that runs past the data, ends the list.
void LoadAnimationKey(const XObject& o, AnimTrack* track) {
  XDataCursor c(o);
  uint32_t type, n;
  if (!c.Int(&type) || !c.Int(&n) || type > 2) return;
  const uint32_t need = type == 0 ? 4 : 3;
  std::vector<float> keys;
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t time, values;
    if (!c.Int(&time) || !c.Int(&values) || values < need || values > c.Remaining()) break;
    float v[4];
    c.Floats(v, need);
    for (uint32_t extra = need; extra < values; ++extra) {
      float skipped;
      c.Float(&skipped);
    }
    keys.push_back(float(time));
    keys.insert(keys.end(), v, v + need);
  }
  keys = InTimeOrder(std::move(keys), need + 1);
  if (type == 0) TrackSetRotKeys(*track, std::move(keys));
  else if (type == 1) TrackSetVecKeysA(*track, std::move(keys));
  else TrackSetVecKeysB(*track, std::move(keys));
}

// Tracks are linked behind the last one read, not by walking the chain for each.
std::unique_ptr<AnimSet> LoadAnimationSet(const XObject& o, StopPoll& stop) {
  auto set = std::make_unique<AnimSet>();
  std::unique_ptr<AnimTrack>* end = &set->firstTrack;
  for (const auto& child : o.children) {
    if (stop.Stopped()) break;
    if (!child->Is("Animation")) continue;
    auto track = std::make_unique<AnimTrack>();
    for (const auto& part : child->children) {
      if (part->Is("AnimationKey")) {
        LoadAnimationKey(*part, track.get());
      } else if (part->isReference && part->target && part->target->Is("Frame")) {
        TrackSetName(*track, part->target->name.substr(0, kNodeNameSize - 1));
      } else if (part->isReference) {
        // Named by a frame of another file (an appended animation): looked up by that name.
        TrackSetName(*track, part->name.substr(0, kNodeNameSize - 1));
      }
    }
    *end = std::move(track);
    end = &(*end)->next;
  }
  return set;
}

// The limb FindLimbByName on the root gives for a name, for every track from one walk of the
// tree (a walk per track would be quadratic in frames). That walk stops a sibling chain at the
// first frame of the name, after the frames it stored below the earlier ones, and the frame
// stored last wins. So the answer lies on the path to the last frame of the name in tree
// order: the first frame of the name among the children of the highest node on that path that
// has one as a child (the root itself when it has the name).
class LimbsByName {
 public:
  explicit LimbsByName(FrameNode* root) {
    // Frames in tree order (each before the frames below it), without a call a level; meshes
    // neither match nor hold frames.
    WalkStack<uint32_t> open;  // the frames above the node walked
    WalkNodes(
        root,
        [&](SceneNode* n) {
          if (!n->IsFrame()) return NodeWalk::kOver;
          const uint32_t i = uint32_t(frames_.size());
          frames_.push_back({n->limbNumber, open.Empty() ? -1 : int32_t(open.Top()), 0, uint32_t(open.Size())});
          byName_[std::string_view(n->name)].push_back(i);
          open.Push(i);
          return NodeWalk::kInto;
        },
        [&](SceneNode*) {
          frames_[open.Top()].end = uint32_t(frames_.size());
          open.Pop();
        });
  }

  // The limb of the name; fallback when no frame has it.
  int32_t Find(const std::string& name, int32_t fallback) const {
    const auto it = byName_.find(std::string_view(name.c_str()));  // compared as C strings
    if (it == byName_.end()) return fallback;
    const uint32_t last = it->second.back();
    const Frame* best = nullptr;
    for (uint32_t i : it->second) {
      const Frame& f = frames_[i];
      const bool onPath = f.parent < 0 || (uint32_t(f.parent) <= last && last < frames_[size_t(f.parent)].end);
      if (onPath && (!best || f.depth < best->depth)) best = &f;
    }
    return int32_t(best->limb);
  }

 private:
  struct Frame {
    uint32_t limb;
    int32_t parent;  // index of the parent frame; -1 for the root
    uint32_t end;    // one past the index of the last frame below it
    uint32_t depth;
  };
  std::vector<Frame> frames_;
  std::unordered_map<std::string_view, std::vector<uint32_t>> byName_;
};

// T's list, then a hold key at holdTime repeating T's last key (unless that key is at holdTime
// already), then N's keys moved by timeOffset.
std::vector<float> Extend(const std::vector<float>& kept, const std::vector<float>& added, uint32_t stride,
                          int32_t timeOffset, int32_t holdTime) {
  std::vector<float> out = kept;
  if (!kept.empty() && float(holdTime) != kept[kept.size() - stride]) {
    out.push_back(float(holdTime));
    out.insert(out.end(), kept.end() - stride + 1, kept.end());
  }
  for (size_t k = 0; k + stride <= added.size(); k += stride) {
    out.push_back(added[k] + float(timeOffset));
    out.insert(out.end(), added.begin() + ptrdiff_t(k + 1), added.begin() + ptrdiff_t(k + stride));
  }
  return out;
}

// The first reference of the file's animations that names no frame of the file: its track would
// drive nothing. "" when there is none.
std::string UnknownFrameReference(const XFile& file) {
  for (const auto& set : file.objects) {
    if (!set->Is("AnimationSet")) continue;
    for (const auto& a : set->children) {
      if (!a->Is("Animation")) continue;
      for (const auto& part : a->children)
        if (part->isReference && !(part->target && part->target->Is("Frame")))
          return "Animation" + (a->name.empty() ? "" : " " + a->name) + " names frame " + part->name +
                 ", which the file does not hold";
    }
  }
  return {};
}

}  // namespace

XLimits g_modelLimits;

bool ReadModelXFile(const std::string& path, XFile* out, std::string* why) {
  std::string bytes, cause;
  errno = 0;
  const FsRead read = FsReadRegularFile(path, bytes, kMaxModelBytes, false);
  if (read != FsRead::kOk) cause = FsReadCause(read, "a model file");
  if (cause.empty()) {
    const XReadResult r = ParseXFile(bytes, *out, g_modelLimits);
    if (!r.ok()) cause = r.message;
    else cause = FirstXDamage(out->objects);
  }
  if (cause.empty()) return true;
  out->objects.clear();
  if (why) *why = cause;
  return false;
}

std::unique_ptr<FrameNode> LoadXTree(const XFile& file, uint32_t* frameCount, std::unique_ptr<AnimSet>* animation,
                                     std::string* why) {
  auto root = std::make_unique<FrameNode>("root");
  root->limbNumber = 0;
  animation->reset();
  uint32_t n = 0;
  StopPoll stop;
  ChildAppender children(root.get());
  for (const auto& o : file.objects) {
    if (stop.Stopped()) break;
    if (o->Is("Frame")) n = LoadFrame(*o, children, n + 1, stop);
    else if (o->Is("Mesh")) LoadMesh(*o, children, n);
    else if (o->Is("AnimationSet")) *animation = LoadAnimationSet(*o, stop);
  }
  if (stop.Stopped()) {
    animation->reset();
    if (why) *why = "the load was stopped";
    return nullptr;
  }
  // A file that gives no frame and no mesh holds no model: an empty object would load silently;
  // frames alone (a skeleton, an animation) would load as an object of nothing.
  if (!root->firstChild || !HoldsMesh(root.get())) {
    animation->reset();
    if (why) *why = root->firstChild ? "holds no mesh" : "holds no frame or mesh";
    return nullptr;
  }
  *frameCount = n + 1;
  if (*animation) {
    const LimbsByName limbs(root.get());
    for (AnimTrack* t = AnimSetGetTrackList(**animation); t; t = TrackNext(*t)) TrackSetLimb(*t, limbs.Find(t->name, 0));
  }
  return root;
}

std::unique_ptr<FrameNode> LoadXFileTree(const std::string& path, uint32_t* frameCount,
                                         std::unique_ptr<AnimSet>* animation, std::string* why) {
  XFile file;
  if (!ReadModelXFile(path, &file, why)) return nullptr;
  if (const std::string unknown = UnknownFrameReference(file); !unknown.empty()) {
    if (why) *why = unknown;
    return nullptr;
  }
  return LoadXTree(file, frameCount, animation, why);
}

int32_t AppendAnimationFromXFiles(const std::vector<const XFile*>& files, FrameNode* root, AnimSet* existing,
                                  int32_t timeOffset, int32_t holdTime, std::string* why) {
  std::unique_ptr<AnimSet> added;
  StopPoll stop;
  for (const XFile* f : files)
    for (const auto& o : f->objects)
      if (o->Is("AnimationSet")) added = LoadAnimationSet(*o, stop);
  if (!added || stop.Stopped()) {
    if (why) *why = added ? "the load was stopped" : "holds no animation set";
    return 0;
  }
  std::unique_ptr<LimbsByName> limbs;
  if (root) limbs = std::make_unique<LimbsByName>(root);
  // A track for a frame the model does not have is animation of another model: nothing is added.
  for (AnimTrack* n = AnimSetGetTrackList(*added); n; n = TrackNext(*n)) {
    TrackSetLimb(*n, limbs ? limbs->Find(n->name, -1) : -1);
    if (n->limb != -1 || n->name.empty()) continue;
    if (why) *why = "the animation names frame " + n->name + ", which the model does not have";
    return 0;
  }
  // The first existing track of each limb.
  std::unordered_map<int32_t, AnimTrack*> tracks;
  if (existing)
    for (AnimTrack* t = AnimSetGetTrackList(*existing); t; t = TrackNext(*t)) tracks.emplace(t->limb, t);
  for (AnimTrack* n = AnimSetGetTrackList(*added); n; n = TrackNext(*n)) {
    if (n->limb == -1) continue;
    const auto found = tracks.find(n->limb);
    if (found == tracks.end()) continue;
    AnimTrack* t = found->second;
    TrackSetRotKeys(*t, Extend(t->rotationKeys, n->rotationKeys, kRotationKeyFloats, timeOffset, holdTime));
    TrackSetVecKeysA(*t, Extend(t->scaleKeys, n->scaleKeys, kVectorKeyFloats, timeOffset, holdTime));
    TrackSetVecKeysB(*t, Extend(t->positionKeys, n->positionKeys, kVectorKeyFloats, timeOffset, holdTime));
  }
  return 1;
}

int32_t AppendAnimationFromXFile(const std::string& path, FrameNode* root, AnimSet* existing, int32_t timeOffset,
                                 int32_t holdTime, std::string* why) {
  XFile file;
  if (!ReadModelXFile(path, &file, why)) return 0;
  return AppendAnimationFromXFiles({&file}, root, existing, timeOffset, holdTime, why);
}
