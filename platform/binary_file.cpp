#include "platform/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/fs.h"
#include "platform/fs_walk.h"

bool BinaryFile::OpenRead(const std::string& name) {
  Close();
  int fd = open(FsResolve(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  Adopt(fd, false);
  return true;
}

bool BinaryFile::CreateNew(const std::string& name) {
  Close();
  int fd = FsOpenForWrite(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  Adopt(fd, true);
  return true;
}

void BinaryFile::Adopt(int fd, bool writing) {
  Close();
  fd_ = fd;
  writing_ = writing;
  failed_ = false;
  error_ = 0;
  buffer_.resize(kBufferSize);
  pos_ = end_ = 0;
}

bool BinaryFile::Close() {
  if (fd_ < 0) return true;
  bool ok = Flush();
  if (close(fd_) != 0) {
    Fail(errno);
    ok = false;
  }
  fd_ = -1;
  buffer_ = {};
  pos_ = end_ = 0;
  return ok && !failed_;  // the failure stays readable until the next open
}

bool BinaryFile::WriteAll(const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd_, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
      return false;
    }
    p += w;
    n -= size_t(w);
  }
  return true;
}

bool BinaryFile::Flush() {
  if (fd_ < 0 || !writing_ || end_ == 0) return !failed_;
  bool ok = WriteAll(buffer_.data(), end_);
  end_ = 0;
  return ok;
}

bool BinaryFile::WriteSlow(const void* src, size_t n) {
  if (fd_ < 0 || !writing_) return false;
  if (!Flush()) return false;
  if (n >= kBufferSize) return WriteAll(static_cast<const uint8_t*>(src), n);
  std::memcpy(buffer_.data(), src, n);
  end_ = n;
  return true;
}

size_t BinaryFile::ReadSlow(void* dst, size_t n) {
  if (fd_ < 0 || writing_) return 0;
  uint8_t* out = static_cast<uint8_t*>(dst);
  size_t got = end_ - pos_;
  std::memcpy(out, buffer_.data() + pos_, got);
  pos_ = end_ = 0;
  while (got < n) {
    // Large reads go straight into the destination; small ones refill the buffer.
    const bool direct = n - got >= kBufferSize;
    ssize_t r = direct ? read(fd_, out + got, n - got) : read(fd_, buffer_.data(), kBufferSize);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) Fail(errno);
    if (r <= 0) break;
    if (direct) {
      got += size_t(r);
    } else {
      size_t take = std::min(size_t(r), n - got);
      std::memcpy(out + got, buffer_.data(), take);
      got += take;
      pos_ = take;
      end_ = size_t(r);
    }
  }
  return got;
}

bool BinaryFile::Refill() {
  if (fd_ < 0 || writing_) return false;
  pos_ = end_ = 0;
  for (;;) {
    ssize_t r = read(fd_, buffer_.data(), kBufferSize);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) Fail(errno);
    if (r <= 0) return false;
    end_ = size_t(r);
    return true;
  }
}
