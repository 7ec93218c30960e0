#pragma once
// Shared libraries opened on first use instead of at start-up: the heavy ones (video, MIDI,
// FTP, TIFF, GL) would otherwise cost every program their loading time, used or not. Each
// library has a table of the functions called from it, resolved by name when it opens.
#include <dlfcn.h>

#include <cstring>
#include <mutex>
#include <string>

class SharedLibrary {
 public:
  explicit SharedLibrary(const char* soname) : soname_(soname) {}
  // Opens the library and calls bind(handle) once per process; bind answers the name of a
  // function the library lacks, or nullptr. Later calls answer the first outcome. False, with
  // the reason in *why, when the library cannot be used. Safe from any thread.
  template <class Bind>
  bool Open(Bind bind, std::string* why) {
    if (PretendedMissing(why)) return false;
    std::lock_guard<std::mutex> lock(mu_);
    if (!tried_) {
      tried_ = true;
      ok_ = Load() && Check(bind(handle_));
    }
    if (!ok_ && why) *why = error_;
    return ok_;
  }
  const char* Soname() const { return soname_; }

 private:
  bool PretendedMissing(std::string* why) const;
  bool Load();
  bool Check(const char* missing);
  const char* soname_;
  std::mutex mu_;
  void* handle_ = nullptr;
  bool tried_ = false, ok_ = false;
  std::string error_;
};

// Resolves one function into its slot; false when the library lacks it.
template <class F>
bool BindFunction(void* handle, const char* name, F* slot) {
  *slot = reinterpret_cast<F>(dlsym(handle, name));
  return *slot != nullptr;
}

// Defines Bind(lib, handle) in the including file: resolves the functions of an X-macro list
// that belong to library part lib into the table VK_BIND_TABLE (defined before use), answering
// the first one missing or nullptr.
#define VK_BIND_ONE(part, name) \
  if (std::strcmp(lib, #part) == 0 && !BindFunction(handle, #name, &VK_BIND_TABLE.name)) return #name;
#define VK_DEFINE_BINDER(LIST)                          \
  const char* Bind(const char* lib, void* handle) {     \
    LIST(VK_BIND_ONE)                                   \
    return nullptr;                                     \
  }

// Tests: libraries whose file names begin with the prefix answer as if they were not
// installed, until another prefix (or "") is given.
void PretendLibraryMissing(const std::string& prefix);
