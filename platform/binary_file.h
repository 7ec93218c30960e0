#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// A buffered file open either for reading or for writing a new file. Small reads and writes
// are copies into the buffer; the file is touched a buffer at a time.
class BinaryFile {
 public:
  static constexpr size_t kBufferSize = 64 * 1024;

  BinaryFile() = default;
  ~BinaryFile() { Close(); }
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  // Opens an existing regular file (name through the path layer).
  bool OpenRead(const std::string& name);
  // Creates a new file; fails when the name exists (links are not followed).
  bool CreateNew(const std::string& name);
  // Takes over an open descriptor.
  void Adopt(int fd, bool writing);
  // Writes what is buffered and closes; false when a write failed at any time.
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }
  bool Writing() const { return writing_; }
  // True once a read or write of the file itself failed.
  bool Failed() const { return failed_; }
  // The errno value of the first failure (0 when none).
  int Error() const { return error_; }

  // Reads up to n bytes; fewer only at the end of the file or on failure (none from a file
  // open for writing).
  size_t Read(void* dst, size_t n) {
    if (!writing_ && end_ - pos_ >= n) {
      std::memcpy(dst, buffer_.data() + pos_, n);
      pos_ += n;
      return n;
    }
    return ReadSlow(dst, n);
  }
  // Reads one byte; -1 at the end or on failure.
  int ReadByte() {
    if (!writing_ && pos_ < end_) return buffer_[pos_++];
    uint8_t b;
    return ReadSlow(&b, 1) == 1 ? b : -1;
  }
  // The next byte without taking it; -1 at the end or on failure.
  int PeekByte() {
    if (!writing_ && (pos_ < end_ || Refill())) return buffer_[pos_];
    return -1;
  }
  // Writes n bytes; false when the file refused them or is open for reading.
  bool Write(const void* src, size_t n) {
    if (writing_ && kBufferSize - end_ >= n) {
      std::memcpy(buffer_.data() + end_, src, n);
      end_ += n;
      return true;
    }
    return WriteSlow(src, n);
  }
  bool Flush();

 private:
  size_t ReadSlow(void* dst, size_t n);
  bool Refill();
  bool WriteSlow(const void* src, size_t n);
  bool WriteAll(const uint8_t* p, size_t n);
  void Fail(int error) {
    if (!failed_) error_ = error;
    failed_ = true;
  }

  int fd_ = -1;
  bool writing_ = false, failed_ = false;
  int error_ = 0;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0, end_ = 0;  // reading: unread bytes [pos_, end_); writing: [0, end_) pending
};
