#include "platform/libs/shared_library.h"

#include <string_view>

namespace {
std::mutex g_missingMu;
std::string g_missing;
}  // namespace

void PretendLibraryMissing(const std::string& soname) {
  std::lock_guard<std::mutex> lock(g_missingMu);
  g_missing = soname;
}

bool SharedLibrary::PretendedMissing(std::string* why) const {
  std::lock_guard<std::mutex> lock(g_missingMu);
  if (g_missing.empty() || std::string_view(soname_).substr(0, g_missing.size()) != g_missing) return false;
  if (why) *why = std::string(soname_) + " cannot be loaded";
  return true;
}

bool SharedLibrary::Load() {
  // Symbols stay local: nothing else of the process binds to them by accident.
  handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = dlerror();
    error_ = std::string(soname_) + " cannot be loaded" + (e ? std::string(" (") + e + ")" : "");
  }
  return handle_ != nullptr;
}

bool SharedLibrary::Check(const char* missing) {
  if (!missing) return true;
  error_ = std::string(soname_) + " lacks " + missing;
  return false;
}
