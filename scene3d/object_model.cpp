// Object models: loading by file ending, conversion, appended animation and mesh limbs.
#include "scene3d/object_model.h"

#include <cctype>
#include <cerrno>
#include <memory>

#include "core/pack.h"
#include "display/display.h"
#include "model/convert3ds/writer_x.h"
#include "model/model_handle.h"
#include "model/model_state.h"
#include "model/x_loader.h"
#include "platform/fs.h"
#include "platform/stop_request.h"
#include "scene3d/record_pools.h"

namespace {

// Largest .3ds file an object loads.
constexpr uint64_t kMax3dsBytes = uint64_t(1) << 30;

ObjectRecord* Object(uint32_t object) {
  return object != 0 && g_objectPool.InUse(object) ? &g_objectPool[object] : nullptr;
}

ModelHandle* ModelOf(uint32_t object) {
  ObjectRecord* o = Object(object);
  return o ? o->model.get() : nullptr;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Index of the last of chars in s scanned backwards from index `from` down to index 1; 0 when
// none.
size_t ScanBack(const std::string& s, size_t from, const char* chars) {
  for (size_t i = from; i >= 1 && i < s.size(); --i)
    for (const char* c = chars; *c; ++c)
      if (s[i] == *c) return i;
  return 0;
}

// Empties the model folder on every way out of LoadObject.
struct ModelFolderScope {
  ~ModelFolderScope() { g_model.modelFolder.clear(); }
};

}  // namespace

std::string ModelWorkFilePath() { return FsTempFolderFile("workfile.x"); }

void DestroyObjectModel(uint32_t object) {
  if (ObjectRecord* o = Object(object)) {
    o->model.reset();
  }
}

int32_t LoadObject(uint32_t object, const std::string& fileName, std::string* why) {
  ModelFolderScope scope;
  const std::string lower = Lower(fileName);
  if (lower.size() >= 2) {
    const size_t sep = ScanBack(lower, lower.size() - 2, "\\/");
    g_model.modelFolder = sep ? lower.substr(0, sep + 1) : std::string();
  }
  const size_t dot = lower.empty() ? 0 : ScanBack(lower, lower.size() - 1, ".");
  const std::string extension = dot ? lower.substr(dot + 1) : std::string();
  // A folder, device or FIFO of that name is there but holds no model, whatever its name says:
  // said as a sound load says it.
  if (!FsFileExists(fileName) && FsPathExists(fileName)) {
    if (why) *why = "not a regular file";
    return 0;
  }
  if (extension != "x" && extension != "3ds") {
    if (why) *why = "only .x and .3ds files are loaded";
    return -1;
  }
  std::string path = fileName;
  MapThroughPack(path, "dat");
  if (extension == "x") {
    if (!FsFileExists(path)) {
      if (why) *why = "not found";
      return -4;
    }
    const int32_t frames = LoadModelIntoObject(object, path, why);
    if (frames <= 0 && why && why->empty()) *why = "cannot be loaded";
    return frames;
  }
  return LoadModelConverting(object, extension, path, why);
}

namespace {

// The frame count of the object's model, made by load when the object has none; 0 when that
// load failed (the object then keeps no handle).
template <class Load>
int32_t LoadInto(uint32_t object, Load&& load) {
  ObjectRecord* o = Object(object);
  if (!o) return 0;
  if (!o->model) {
    o->model = std::make_shared<ModelHandle>();
    if (load(*o->model) < 0) {
      DestroyObjectModel(object);
      return 0;
    }
  }
  return int32_t(ModelHandleGetFrameCount(*o->model));
}

}  // namespace

int32_t LoadModelIntoObject(uint32_t object, const std::string& path, std::string* why) {
  return LoadInto(object, [&](ModelHandle& h) { return LoadModelXFile(h, path, g_display.device.get(), why); });
}

// A .3ds model loads from the converter's .x objects directly: the same model the X text
// gives, without writing, reading and parsing the text.
int32_t LoadModelConverting(uint32_t object, const std::string& extension, const std::string& path,
                            std::string* why) {
  if (extension == "3ds") {
    std::string bytes;
    errno = 0;
    const FsRead read = FsReadRegularFile(path, bytes, kMax3dsBytes, false);
    if (read != FsRead::kOk) {
      if (why) *why = FsReadCause(read, "a 3DS file");
      return -4;
    }
    // Every 3DS file starts with the main chunk; anything else would load as an empty object.
    if (bytes.size() < 6 || uint8_t(bytes[0]) != 0x4D || uint8_t(bytes[1]) != 0x4D) {
      if (why) *why = "not a 3DS file";
      return 0;
    }
    XFile converted;
    if (!Convert3dsBytesToXFile(bytes, &converted, g_modelLimits, why)) return 0;
    // The converter's walk gives up on a stop with part of the model: that part is not loaded.
    if (StopSignalReceived()) {
      if (why) *why = "the load was stopped";
      return 0;
    }
    // What the model holds once built is bounded as a read .x file's is.
    std::string().swap(bytes);
    if (XLoadBytes(converted) > g_modelLimits.bytes) {
      if (why) *why = "holds more than a model may have";
      return 0;
    }
    return LoadInto(object, [&](ModelHandle& h) { return LoadModelXObjects(h, converted, g_display.device.get(), why); });
  }
  const std::string work = ModelWorkFilePath();
  const int32_t result = LoadModelIntoObject(object, work, why);
  FsDeleteFile(work);
  return result;
}

int32_t AddMeshLimbToObject(uint32_t object, uint32_t limb, uint32_t mesh) {
  ModelHandle* h = ModelOf(object);
  return h && AddUserFrame(*h, limb, mesh, 0, g_display.device.get()) >= 0 ? 1 : 0;
}

int32_t ChangeObjectLimbMesh(uint32_t object, uint32_t limb, uint32_t mesh) {
  ModelHandle* h = ModelOf(object);
  if (h) Object(object)->limbShapesWhole = 0;
  return h && ModelHandleChangeLimbMesh(*h, limb, mesh) >= 0 ? 1 : 0;
}

int32_t ObjectModelPresent(uint32_t object, int32_t) {
  return ModelOf(object) ? 1 : 0;
}
