// 3DS to X text: a sink of the 3DS reader that writes each part of the model as it arrives,
// materials first, then frames with their meshes, then the animation set.
#include "model/convert3ds/writer_x.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "model/convert3ds/reader_3ds.h"
#include "model/x_loader.h"
#include "platform/fs.h"
#include "model/xfile/xfile.h"
#include "platform/stop_request.h"

namespace {

// Largest source the converter reads; 3DS tables are counted in 16 bits, so real files stay far
// below it.
constexpr uint64_t kMaxSourceBytes = uint64_t(1) << 30;

// The name read as a decimal number, as the C library's atoi reads it.
long LeadingNumber(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9' && v < 100000000; ++i) v = v * 10 + (s[i] - '0');
  return negative ? -v : v;
}

void Because(std::string* why, const std::string& text) {
  if (why) *why = text;
}

// What failed, and the system's reason when it gave one.
std::string ErrnoText(const char* what) {
  return errno ? std::string(what) + ": " + std::strerror(errno) : std::string(what);
}

// A texture file name goes between double quotes, which the X text cannot escape: a quote in
// the name is dropped, so the file always reads back.
std::string QuotableName(const std::string& name) {
  std::string out;
  for (char c : name)
    if (c != '"') out += c;
  return out;
}

// Names as the X text gives them.
std::string MaterialName(const std::string& name) { return "x3ds_mat_" + SanitiseXName(name); }
std::string FrameName(const std::string& name) { return "x3ds_" + SanitiseXName(name); }
// A mesh named by a number above 0 gets an "x" in front.
std::string MeshName(const std::string& name) {
  return (LeadingNumber(name) > 0 ? "x" : "") + SanitiseXName(name);
}
// A keyframer node names its object's frame: blanks and other signs made '_', cut as the object
// names are.
std::string NodeFrameName(const std::string& node) { return FrameName(node.substr(0, 11)); }
bool WritesScale(const Node3ds& node) {
  const bool unit = node.scale.size() == 1 && node.scale[0].v[0] == 1.0f && node.scale[0].v[1] == 1.0f &&
                    node.scale[0].v[2] == 1.0f;
  return !node.scale.empty() && !unit;
}

// What each part of the model adds to a load, at most: objects and values, as the X objects
// the converter makes count them, and bytes, as a read charges what it builds.
struct PartCost {
  uint64_t objects, values, bytes;
};
PartCost Cost(uint64_t objects, uint64_t values, uint64_t extra = 0) {
  return {objects, values, objects * XLoadCost::kObject + values * XLoadCost::kValue + extra};
}
PartCost MaterialCost() { return Cost(2, 12); }
PartCost FrameCost() { return Cost(1, 0); }
PartCost MeshCost(const Mesh3ds& m) {
  const uint64_t faces4 = 4 * uint64_t(m.faces.size() / 3);
  const uint64_t vertices = m.positions.size() / 3;
  return Cost(6, 27 + m.positions.size() + m.normals.size() + m.texCoords.size() + 2 * faces4,
              XLoadCost::kMesh + vertices * XLoadCost::kVertex + faces4 * XLoadCost::kFaceWord);
}
PartCost AnimationCost(const std::vector<Node3ds>& nodes) {
  uint64_t keys = 0;
  for (const Node3ds& node : nodes) keys += node.rotation.size() + node.scale.size() + node.position.size();
  return Cost(1 + 5 * uint64_t(nodes.size()), 6 * (keys + nodes.size()));
}

// The limits of a model load, charged part by part: once past them, nothing more is taken.
class ModelBudget {
 public:
  explicit ModelBudget(const XLimits& limits) : limits_(limits) {}
  // held: bytes held besides the parts (the text made so far, the image a load of it reads).
  bool Charge(PartCost c, uint64_t held = 0) {
    objects_ += c.objects, values_ += c.values, bytes_ += c.bytes;
    held_ = held;
    return !Exceeded();
  }
  bool Exceeded() const {
    return objects_ > limits_.objects || values_ > limits_.values || bytes_ + held_ > limits_.bytes;
  }
  // What a model past the limits holds too much of, as a model load says it.
  const char* Cause() const {
    return objects_ > limits_.objects  ? "holds more objects than a model may have"
           : values_ > limits_.values ? "holds more values than a model may have"
                                      : "holds more data than a model may have";
  }

 private:
  XLimits limits_;
  uint64_t objects_ = 0, values_ = 0, bytes_ = 0, held_ = 0;
};

class XTextWriter : public Sink3ds {
 public:
  explicit XTextWriter(const XLimits& limits) : budget_(limits) {
    out_.reserve(10240);
    Line("xof 0302txt 0064");
    Line("Header {");
    Line("1;");
    Line("0;");
    Line("1;");
    Line("}");
    Line("");
  }

  std::string Take() { return std::move(out_); }
  // Why the text was given up ("" while it goes on): the model past the limits of a load, or a
  // stop asked for. What was written is let go of.
  const std::string& Failure() const { return failure_; }
  // The whole text counts too, as the image a load of it holds.
  void Finish() { Admit({0, 0, 0}); }

  void Material(const Material3ds& m) override {
    if (!Admit(MaterialCost())) return;
    Line("Material " + MaterialName(m.name) + " {");
    Floats({m.diffuse[0], m.diffuse[1], m.diffuse[2], 1.0f}, ", ", ";;");
    Floats({m.shininess}, ", ", ";");
    Floats({m.specular[0], m.specular[1], m.specular[2]}, ", ", ";;");
    Floats({0.0f, 0.0f, 0.0f}, ", ", ";;");
    if (m.hasTexture) {
      Line("TextureFilename {");
      Line("\"" + QuotableName(m.textureFile) + "\";");
      Line("}");
    }
    Line("}");
    Line("");
  }

  void FrameOpen(const std::string& name) override {
    if (Admit(FrameCost())) Line("Frame " + FrameName(name) + " {");
  }

  void FrameClose() override {
    if (!failure_.empty()) return;
    Line("}");
    Line("");
  }

  void Mesh(const Mesh3ds& m) override {
    if (!Admit(MeshCost(m))) return;
    if (m.hasFrameMatrix) {
      Line("FrameTransformMatrix {");
      for (int r = 0; r < 4; ++r) {
        const float* row = m.frameMatrix + 4 * r;
        Floats({row[0], row[1], row[2], row[3]}, ", ", r < 3 ? "," : ";;");
      }
      Line("}");
    }
    Line("Mesh " + MeshName(m.name) + " {");
    Vectors(m.positions);
    const size_t faces = m.faces.size() / 3;
    Faces(faces, [&](size_t f, size_t c) { return m.faces[3 * f + c]; });
    if (!m.materialName.empty()) {
      Line("MeshMaterialList {");
      Line("1;");
      Line("1;");
      Line("0;;");
      Line("{" + MaterialName(m.materialName) + "}");
      Line("}");
      Line("");
    }
    Line("MeshNormals {");
    Vectors(m.normals);
    Faces(faces, [](size_t f, size_t c) { return uint32_t(3 * f + c); });
    Line("}");
    Line("MeshTextureCoords {");
    const size_t pairs = m.texCoords.size() / 2;
    Count(pairs);
    for (size_t i = 0; i < pairs; ++i)
      Floats({m.texCoords[2 * i], m.texCoords[2 * i + 1]}, ";", i + 1 < pairs ? ";," : ";;");
    Line("}");
    Line("}");
  }

  void Animation(const std::vector<Node3ds>& nodes) override {
    if (!Admit(AnimationCost(nodes))) return;
    Line("AnimationSet x3ds_animset_0 {");
    int index = 0;
    for (const Node3ds& node : nodes) {
      if (node.name == "$$$DUMMY") continue;
      Line("Animation x3ds_anim_" + std::to_string(index++) + " {");
      Line("{" + NodeFrameName(node.name) + "}");
      if (!node.rotation.empty()) Keys(0, node.rotation, 4);
      if (WritesScale(node)) Keys(1, node.scale, 3);
      if (!node.position.empty()) Keys(2, node.position, 3);
      Line("}");
    }
    Line("}");
  }

 private:
  // Charges a part and looks at the stop request; false, with the text let go of, once either
  // ends the conversion.
  bool Admit(PartCost cost) {
    if (!failure_.empty()) return false;
    if (!budget_.Charge(cost, out_.size())) failure_ = budget_.Cause();
    else if (StopSignalReceived()) failure_ = "the conversion was stopped";
    else return true;
    std::string().swap(out_);
    return false;
  }
  void Line(const std::string& text) {
    out_ += text;
    out_ += '\n';
  }
  void Number(float v) {
    char buf[64];
    const double d = std::isfinite(v) ? double(v) : 0.0;
    const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, 6);
    out_.append(buf, r.ptr);
  }
  void Int(uint64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, r.ptr);
  }
  // One line of numbers joined by sep and closed by end.
  void Floats(std::initializer_list<float> values, const char* sep, const char* end) {
    bool first = true;
    for (float v : values) {
      if (!first) out_ += sep;
      first = false;
      Number(v);
    }
    out_ += end;
    out_ += '\n';
  }
  void Count(size_t n) {
    Int(n);
    out_ += ";\n";
  }
  void Vectors(const std::vector<float>& xyz) {
    const size_t n = xyz.size() / 3;
    Count(n);
    for (size_t i = 0; i < n; ++i)
      Floats({xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]}, "; ", i + 1 < n ? ";," : ";;");
  }
  template <class Corner>
  void Faces(size_t n, Corner corner) {
    Count(n);
    for (size_t f = 0; f < n; ++f) {
      out_ += "3;";
      for (size_t c = 0; c < 3; ++c) {
        if (c > 0) out_ += ',';
        Int(corner(f, c));
      }
      out_ += f + 1 < n ? ";,\n" : ";;\n";
    }
  }
  void Keys(int type, const std::vector<Key3ds>& keys, int values) {
    Line("AnimationKey {");
    Count(size_t(type));
    Count(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
      Int(keys[i].frame);
      out_ += "; ";
      Int(uint64_t(values));
      out_ += "; ";
      for (int v = 0; v < values; ++v) {
        if (v > 0) out_ += ", ";
        Number(keys[i].v[v]);
      }
      out_ += i + 1 < keys.size() ? ";;,\n" : ";;;\n";
    }
    Line("}");
  }
  std::string out_;
  ModelBudget budget_;
  std::string failure_;
};


// The same model as .x objects, as the X text would read back: every number kept to the six
// decimals the text gives it.
class XObjectWriter : public Sink3ds {
 public:
  XObjectWriter(XFile* out, const XLimits& limits) : out_(out), budget_(limits) {
    out_->objects.clear();
    XObject& header = out_->Add("Header");
    header.PushInt(1), header.PushInt(0), header.PushInt(1);
  }
  // Set once the model would build more than the limits allow: nothing more is added.
  bool tooLarge = false;

  void Material(const Material3ds& m) override {
    if (!Charge(MaterialCost())) return;
    XObject& o = out_->Add("Material", MaterialName(m.name));
    Push(o, {m.diffuse[0], m.diffuse[1], m.diffuse[2], 1.0f, m.shininess, m.specular[0], m.specular[1], m.specular[2],
             0.0f, 0.0f, 0.0f});
    if (m.hasTexture) o.AddChild("TextureFilename").PushString(QuotableName(m.textureFile));
  }

  void FrameOpen(const std::string& name) override {
    if (!Charge(FrameCost())) return frames_.push_back(nullptr);
    frames_.push_back(frames_.empty() ? &out_->Add("Frame", FrameName(name)) : &frames_.back()->AddChild("Frame", FrameName(name)));
  }

  void FrameClose() override {
    if (!frames_.empty()) frames_.pop_back();
  }

  void Mesh(const Mesh3ds& m) override {
    if (!Charge(MeshCost(m))) return;
    if (m.hasFrameMatrix) Push(Child("FrameTransformMatrix", ""), std::vector<float>(m.frameMatrix, m.frameMatrix + 16));
    XObject& mesh = Child("Mesh", MeshName(m.name));
    const uint32_t faces = uint32_t(m.faces.size() / 3);
    mesh.PushInt(uint32_t(m.positions.size() / 3));
    Push(mesh, m.positions);
    mesh.PushInt(faces);
    for (uint32_t f = 0; f < faces; ++f) mesh.PushInt(3), mesh.PushInt(m.faces[3 * f]), mesh.PushInt(m.faces[3 * f + 1]), mesh.PushInt(m.faces[3 * f + 2]);
    if (!m.materialName.empty()) {
      XObject& list = mesh.AddChild("MeshMaterialList");
      list.PushInt(1), list.PushInt(1), list.PushInt(0);
      list.AddReference(MaterialName(m.materialName));
    }
    XObject& normals = mesh.AddChild("MeshNormals");
    normals.PushInt(uint32_t(m.normals.size() / 3));
    Push(normals, m.normals);
    normals.PushInt(faces);
    for (uint32_t f = 0; f < faces; ++f) normals.PushInt(3), normals.PushInt(3 * f), normals.PushInt(3 * f + 1), normals.PushInt(3 * f + 2);
    XObject& uv = mesh.AddChild("MeshTextureCoords");
    uv.PushInt(uint32_t(m.texCoords.size() / 2));
    Push(uv, m.texCoords);
  }

  void Animation(const std::vector<Node3ds>& nodes) override {
    if (!Charge(AnimationCost(nodes))) return;
    XObject& set = out_->Add("AnimationSet", "x3ds_animset_0");
    int index = 0;
    for (const Node3ds& node : nodes) {
      if (node.name == "$$$DUMMY") continue;
      XObject& a = set.AddChild("Animation", "x3ds_anim_" + std::to_string(index++));
      a.AddReference(NodeFrameName(node.name));
      if (!node.rotation.empty()) Keys(a, 0, node.rotation, 4);
      if (WritesScale(node)) Keys(a, 1, node.scale, 3);
      if (!node.position.empty()) Keys(a, 2, node.position, 3);
    }
  }

  void Finish() { ResolveXReferences({out_}); }

 private:
  // Counts what a part adds (at most that many objects and values); false, with nothing more
  // added from then on, past the limits.
  bool Charge(PartCost cost) {
    if (!budget_.Charge(cost)) tooLarge = true;
    return !tooLarge;
  }
  // A number as the six-decimal text reads back (not finite: 0).
  static float Six(float v) {
    if (!std::isfinite(v)) return 0.0f;
    return float(std::nearbyint(double(v) * 1e6) / 1e6);
  }
  template <class Floats>
  static void Push(XObject& o, const Floats& values) {
    o.data.reserve(o.data.size() + values.size());
    for (float v : values) o.PushFloat(Six(v));
  }
  static void Push(XObject& o, std::initializer_list<float> values) { Push<std::initializer_list<float>>(o, values); }
  // A new object in the open frame (at the top level when none is open).
  XObject& Child(const char* type, const std::string& name) {
    return frames_.empty() ? out_->Add(type, name) : frames_.back()->AddChild(type, name);
  }
  static void Keys(XObject& a, uint32_t type, const std::vector<Key3ds>& keys, int values) {
    XObject& k = a.AddChild("AnimationKey");
    k.PushInt(type), k.PushInt(uint32_t(keys.size()));
    for (const Key3ds& key : keys) {
      k.PushInt(key.frame), k.PushInt(uint32_t(values));
      for (int v = 0; v < values; ++v) k.PushFloat(Six(key.v[v]));
    }
  }

  XFile* out_;
  ModelBudget budget_;
  std::vector<XObject*> frames_;
};

}  // namespace

std::string SanitiseXName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) c = '_';
  return out;
}

std::string Convert3dsBytesToX(std::string_view bytes, const XLimits& limits, std::string* why) {
  XTextWriter writer(limits);
  std::string damage;
  Read3dsFile(bytes, writer, &damage);
  writer.Finish();
  // A stop the reader saw leaves the text short: it is no model either, nor is a damaged file.
  std::string failure = writer.Failure();
  if (failure.empty() && StopSignalReceived()) failure = "the conversion was stopped";
  if (failure.empty() && !damage.empty()) failure = "damaged: " + damage;
  if (why) *why = failure;
  return failure.empty() ? writer.Take() : std::string();
}

bool Convert3dsBytesToXFile(std::string_view bytes, XFile* out, const XLimits& limits, std::string* why) {
  XObjectWriter writer(out, limits);
  std::string damage;
  Read3dsFile(bytes, writer, &damage);
  if (writer.tooLarge || !damage.empty()) {
    out->objects.clear();
    if (why) *why = writer.tooLarge ? "holds more than a model may have" : "damaged: " + damage;
    return false;
  }
  writer.Finish();
  return true;
}

int32_t Convert3dsToX(const std::string& source, const std::string& target, std::string* why) {
  std::string bytes;
  errno = 0;
  const FsRead read = FsReadRegularFile(source, bytes, kMaxSourceBytes, false);
  if (read != FsRead::kOk) return Because(why, FsReadCause(read, "a 3DS file")), -4;
  // The text holds what a load of the model would: the limits of a model load apply.
  std::string failure;
  const std::string text = Convert3dsBytesToX(bytes, g_modelLimits, &failure);
  if (!failure.empty()) return Because(why, failure), -4;
  std::string().swap(bytes);
  errno = 0;
  if (FsWriteFileAtomic(target, text)) return 0;
  Because(why, ErrnoText("cannot be written"));
  return -5;
}
