#include "tests/support/file_flags.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The file's flags, -1 when they cannot be read.
int FlagsOf(int fd) {
  int flags = 0;
  return fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 ? flags : -1;
}

}  // namespace

bool SetImmutable(const std::string& path, bool on) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  int flags = FlagsOf(fd);
  if (flags != -1) flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  const bool ok = flags != -1 && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  if (fd >= 0) close(fd);
  return ok;
}

bool IsImmutable(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const int flags = FlagsOf(fd);
  if (fd >= 0) close(fd);
  return flags != -1 && (flags & FS_IMMUTABLE_FL) != 0;
}
