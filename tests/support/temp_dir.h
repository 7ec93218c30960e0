#pragma once
#include <sys/types.h>

#include <string>

// The environment that names the folder where a test binary's other processes make their
// temporary folders, and the process that removes it at its end.
inline constexpr const char* kChildTempFolder = "VK_TEST_CHILD_TEMP";
inline constexpr const char* kChildTempOwner = "VK_TEST_CHILD_TEMP_OWNER";

// A fresh folder for one test, removed with everything in it at the end (by the process that
// made it: a forked child leaves it to its parent). A test binary's other processes make theirs
// inside the folder of kChildTempFolder, so one that ends without its destructors leaves none.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string Read(const std::string& name) const;
  void Write(const std::string& name, const std::string& data) const;

 private:
  std::string path_;
  pid_t owner_;
};
