#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/xfile/templates.h"

// Reading and writing .x files, text and binary ("xof 0302" and "0303", "txt " and "bin ", 32-
// and 64-bit floats; the compressed forms "tzip" and "bzip" are read, not written). A file
// becomes a tree of data objects: objects of the standard templates keep their data laid out
// member by member; objects of any other type and template declarations are skipped whole. Children that refer to another
// object by name (or GUID) are resolved after the read, wherever that object sits.

struct XGuid {
  uint8_t bytes[16] = {};
  bool IsZero() const;
  bool operator==(const XGuid& other) const;
};

struct XObject {
  std::string type;  // the template's own name; empty for a reference
  std::string name;
  XGuid guid;
  const XTemplate* tmpl = nullptr;
  // Members in template order, flattened: integers as u32, floats as their 32-bit pattern,
  // strings as an index into strings.
  std::vector<uint32_t> data;
  std::vector<std::string> strings;
  bool shortData = false;  // the object closed before its members were all read
  bool extraData = false;  // values stood after its members, before it closed
  std::vector<std::unique_ptr<XObject>> children;

  // A reference child: name and/or guid say what it refers to; target is set by the resolver
  // (nullptr when nothing matched).
  bool isReference = false;
  const XObject* target = nullptr;

  // The object itself, or the target of a reference.
  const XObject* Resolved() const { return isReference ? target : this; }
  // True when this object (not a reference) is of the given standard template.
  bool Is(const char* templateName) const;

  void PushInt(uint32_t v) { data.push_back(v); }
  void PushFloat(float v);
  void PushString(std::string s);
  XObject& AddChild(std::string childType, std::string childName = {});
  XObject& AddReference(std::string targetName);
};

enum class XEncoding : uint8_t { Text, Binary };

struct XFile {
  uint16_t major = 3, minor = 2;
  XEncoding encoding = XEncoding::Text;
  uint32_t floatBits = 32;
  std::vector<std::unique_ptr<XObject>> objects;  // top-level data objects in file order

  XObject& Add(std::string type, std::string name = {});
};

enum class XStatus : uint8_t { Ok, NotXFile, Compressed, BadFormat, Syntax, TooDeep, TooLarge, ReadFailed };

// What one read may build, far above any real model: a file of more is refused (TooLarge)
// before it takes all memory, as a flood of empty frames would (each costs far more built
// than read). Objects count data objects and references; values count the numbers and
// strings of their data. Bytes bound what the load holds at its peak, the file image and
// everything built from the read (limbs, meshes, their buffers): each part is charged what it
// was measured to cost once loaded (XLoadCost), so a small compressed file cannot build
// gigabytes.
struct XLimits {
  uint64_t objects = 4'000'000;
  uint64_t values = 128'000'000;
  uint64_t bytes = 1'750'000'000;
};

// What a loaded model holds per part, in bytes, as measured on whole loads (a number, a frame
// with its limb, a mesh with its buffers and collision shape, a vertex, a face word), rounded up.
// A mesh is charged as drawn: its first frame gives it a vertex array and two buffers on the GL
// device, about 5 KB on the software GL measured and up to 12 KB where a driver gives each buffer
// pages of its own, so a model of many small meshes stays within the limit once shown.
struct XLoadCost {
  static constexpr uint64_t kValue = 8;
  static constexpr uint64_t kObject = 650;
  static constexpr uint64_t kReference = 100;
  static constexpr uint64_t kMesh = 6000 + 9000;  // built, then its device objects when drawn
  static constexpr uint64_t kVertex = 170;
  static constexpr uint64_t kFaceWord = 12;
};

struct XReadResult {
  XStatus status = XStatus::Ok;
  std::string message;  // empty when Ok
  bool ok() const { return status == XStatus::Ok; }
};

// Parses a whole file image into out (replacing its objects) and resolves its references.
// After a syntax error the objects completed before it are kept.
XReadResult ParseXFile(std::string_view bytes, XFile& out, const XLimits& limits = {});
// What the objects of a file built by other means (a converter) are charged against the limit
// of bytes, as the read charges them.
uint64_t XLoadBytes(const XFile& file);
// Reads a file through the path layer, then parses it.
XReadResult ReadXFile(const std::string& path, XFile& out);
// Resolves references against the objects of all the files given (a reference in any of them
// may name an object of another); the first object of a name (or GUID) in file order wins.
// False, with references left unresolved, when the process is asked to stop.
bool ResolveXReferences(const std::vector<XFile*>& files);

// The file image: a text file in the C locale (numbers written so they read back exactly) or a
// binary one with floats of floatBits (32 or 64). Only objects of standard templates are written.
std::string WriteXFile(const XFile& file, XEncoding encoding, uint32_t floatBits = 32);
// Writes through a temporary file and a rename.
bool SaveXFile(const std::string& path, const XFile& file, XEncoding encoding, uint32_t floatBits = 32);

// Reads an object's data member by member; every read checks what is left.
class XDataCursor {
 public:
  explicit XDataCursor(const XObject& object) : object_(object) {}
  bool Int(uint32_t* out);
  bool Float(float* out);
  bool String(std::string* out);
  // Reads n floats into out (n at most what is left).
  bool Floats(float* out, size_t n);
  size_t Remaining() const { return object_.data.size() - pos_; }
  size_t Position() const { return pos_; }

 private:
  const XObject& object_;
  size_t pos_ = 0;
};
