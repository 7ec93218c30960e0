#include "tests/support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

TempDir::TempDir() : owner_(getpid()) {
  const char* children = std::getenv(kChildTempFolder);
  const char* owner = std::getenv(kChildTempOwner);
  const bool child = children && *children && owner && std::to_string(owner_) != owner;
  for (const std::string& base : {child ? std::string(children) : std::string(),
                                  std::filesystem::temp_directory_path().string()}) {
    if (base.empty()) continue;
    std::string tmpl = base + "/vktest-XXXXXX";
    if (mkdtemp(tmpl.data())) {
      path_ = tmpl;
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty() && getpid() == owner_) std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream in(File(name), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void TempDir::Write(const std::string& name, const std::string& data) const {
  std::ofstream out(File(name), std::ios::binary);
  out << data;
}
