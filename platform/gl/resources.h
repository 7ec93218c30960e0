#pragma once
#include <cstdint>
#include <cstddef>
#include <unordered_map>

// The GL objects of one device, known by integer handles. A handle is never handed out twice
// in a process, so one kept past its resource's release (or past the device) finds nothing
// instead of another object. Every call needs the device's context current.
enum class GlKind : uint8_t { kTexture, kRenderbuffer, kFramebuffer, kBuffer, kVertexArray, kProgram };
using GlHandle = uint32_t;  // 0: none

class GlResources {
 public:
  ~GlResources() = default;  // the owner calls ReleaseAll while its context is current
  // A new object of the kind; 0 when GL made none.
  GlHandle Create(GlKind kind);
  // The GL name of a live handle of the kind; 0 for a released, unknown or other-kind handle.
  uint32_t Name(GlHandle handle, GlKind kind) const;
  void Release(GlHandle handle);
  // Every object: the device reset.
  void ReleaseAll();
  size_t Count() const { return live_.size(); }

 private:
  struct Entry {
    GlKind kind;
    uint32_t name;
  };
  std::unordered_map<GlHandle, Entry> live_;
};
