#include "display/imagefiles/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "core/errors.h"
#include "platform/fs.h"

bool ReadImageFile(const std::string& name, std::string& out, std::string* why) {
  auto fail = [&](const std::string& cause) {
    if (why) *why = cause;
    return false;
  };
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  int fd = open(FsResolve(name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return fail(errno == ENOENT || errno == ENOTDIR ? FileErrorCause(ENOENT)
                : errno == ENXIO                    ? "not a regular file"  // a socket
                                                    : "cannot be opened");
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 || uint64_t(st.st_size) > kMaxImageFileBytes) {
    const bool regular = S_ISREG(st.st_mode);
    close(fd);
    return fail(regular ? "larger than any picture file" : "not a regular file");
  }
  try {
    out.resize(size_t(st.st_size));
  } catch (const std::bad_alloc&) {
    close(fd);
    return fail(kNoMemoryToLoad);
  }
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = read(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  close(fd);
  out.resize(done);  // a file that shrank meanwhile is read as it is now
  return true;
}

MaskChannel::MaskChannel(uint32_t mask) {
  if (!mask) return;
  while (!(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++width;
  }
}

uint32_t MaskChannel::Get(uint32_t p, uint32_t none) const {
  if (!width) return none;
  const uint32_t v = (p >> shift) & (width >= 32 ? ~0u : (1u << width) - 1);
  if (width >= 8) return v >> (width - 8);
  uint32_t out = 0;  // the bits repeated down to 8
  int32_t filled = 0;
  for (; filled < 8; filled += width) out = (out << width) | v;
  return out >> (filled - 8);
}
