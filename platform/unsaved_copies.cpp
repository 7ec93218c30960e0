#include "platform/unsaved_copies.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "platform/fs.h"

namespace {

constexpr int kMaxCopies = 4;         // two buffers, with room to spare
constexpr int kMaxRecoveryNames = 100;  // "name.recovered" to "name.recovered-100"
constexpr size_t kPathMax = 4096;
constexpr uint64_t kMaxRecordBytes = 1 << 16;
constexpr char kRecordName[] = "/unsaved.rec";

// A copy as the signal handler reads it; base is "<folder>/<name>.recovered", or "" for a
// file that is the only copy and cannot be moved (it is named where it is).
struct Copy {
  char temp[kPathMax];
  char base[kPathMax];
  char name[kPathMax];
};
Copy g_copies[kMaxCopies];
std::atomic<int> g_armed{0};  // copies the handler may take; 0 while they change
static_assert(std::atomic<int>::is_always_lock_free);

struct Pending {
  std::string temp, base, name;
};
std::vector<Pending> g_pending;

void Put(const char* text) {
  for (size_t left = std::strlen(text); left > 0;) {
    const ssize_t w = write(2, text, left);
    if (w <= 0 && errno != EINTR) return;
    if (w > 0) text += w, left -= size_t(w);
  }
}

bool Exists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

// Links temp to the first free name of base, base-2, ... (into out) and removes the temporary
// name: 1 when linked, 0 when temp is gone (kept already), -1 when it could not be linked.
int LinkToFreeName(const char* temp, const char* base, char* out) {
  const size_t length = std::strlen(base);
  for (int n = 1; n <= kMaxRecoveryNames && length + 8 < kPathMax; ++n) {
    std::memcpy(out, base, length + 1);
    if (n > 1) {
      char digits[8];
      int count = 0;
      for (int v = n; v > 0; v /= 10) digits[count++] = char('0' + v % 10);
      out[length] = '-';
      for (int k = 0; k < count; ++k) out[length + 1 + size_t(k)] = digits[count - 1 - k];
      out[length + 1 + size_t(count)] = 0;
    }
    if (link(temp, out) == 0) {
      unlink(temp);
      return 1;
    }
    if (errno != EEXIST) break;
  }
  return Exists(temp) ? -1 : 0;
}

// Makes one copy a recovery file and says where the text is (as LinkToFreeName answers).
int KeepOne(const char* temp, const char* base, const char* name) {
  char path[kPathMax];
  const int linked = base[0] ? LinkToFreeName(temp, base, path) : Exists(temp) ? -1 : 0;
  if (linked == 0) return 0;
  Put("vellumark: edit: the unsaved changes of ");
  Put(name);
  Put(" are kept in ");
  Put(linked > 0 ? path : temp);
  Put("\n");
  return linked;
}

bool Fits(const std::string& text) { return text.size() < kPathMax; }

// A hidden name for the copy that says whose text it holds, unused by saves' temporaries.
std::string CopyName(const std::string& folder, const std::string& name) {
  static std::random_device random;
  return folder + "/." + name.substr(0, 100) + ".unsaved-" + std::to_string(getpid()) + "-" +
         std::to_string(random() % 1000000);
}

}  // namespace

bool UnsavedCopyAdd(const std::string& folder, const std::string& name, const std::string& text) {
  if (folder.empty() || name.empty()) return false;
  // A full path: the run may change the working folder before a handler links it.
  std::string plain = folder[0] == '/' ? folder : FsCurrentFolder() + "/" + folder;
  if (plain.size() > 1 && plain.back() == '/') plain.pop_back();
  const std::string base = plain + "/" + name + ".recovered";
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temp = CopyName(plain, name);
    if (!Fits(temp) || !Fits(base)) return false;
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
      const ssize_t w = write(fd, text.data() + done, text.size() - done);
      if (w >= 0) done += size_t(w);
      else ok = errno == EINTR;
    }
    if (close(fd) != 0 || !ok) {
      unlink(temp.c_str());
      return false;
    }
    g_pending.push_back({temp, base, name});
    return true;
  }
  return false;
}

void UnsavedCopyAddOnlyCopy(const std::string& file, const std::string& name) {
  if (Fits(file) && Fits(name)) g_pending.push_back({file, "", name});
}

void UnsavedCopiesArm() {
  g_armed.store(0);
  std::string record;
  int count = 0;
  for (const Pending& p : g_pending) {
    if (count == kMaxCopies) break;
    Copy& c = g_copies[count++];
    std::memcpy(c.temp, p.temp.c_str(), p.temp.size() + 1);
    std::memcpy(c.base, p.base.c_str(), p.base.size() + 1);
    std::memcpy(c.name, p.name.c_str(), p.name.size() + 1);
    record += p.temp + '\0' + p.base + '\0' + p.name + '\0';
  }
  g_armed.store(count);
  // After a kill the next start finds them through the run folder.
  const std::string& runFolder = FsTempFolder();
  if (count > 0 && !runFolder.empty()) FsWriteFileAtomic(runFolder + kRecordName, record);
}

void UnsavedCopiesDrop() {
  g_armed.store(0);
  if (g_pending.empty()) return;
  const std::string& runFolder = FsTempFolder();
  if (!runFolder.empty()) unlink((runFolder + kRecordName).c_str());
  for (const Pending& p : g_pending)
    if (!p.base.empty()) unlink(p.temp.c_str());
  g_pending.clear();
}

bool UnsavedCopiesKeep() {
  const int count = g_armed.exchange(0);
  bool all = count > 0;
  for (int k = 0; k < count; ++k) all = KeepOne(g_copies[k].temp, g_copies[k].base, g_copies[k].name) > 0 && all;
  return all;
}

bool UnsavedCopiesRecover(const std::string& runFolder) {
  std::string record;
  const FsRead read = FsReadRegularFile(runFolder + kRecordName, record, kMaxRecordBytes, false);
  if (read == FsRead::kMissing) return true;
  if (read != FsRead::kOk) return false;  // kept for a look by hand
  std::vector<std::string> fields;
  for (size_t at = 0, end; (end = record.find('\0', at)) != std::string::npos; at = end + 1)
    fields.push_back(record.substr(at, end - at));
  bool all = true;
  for (size_t k = 0; k + 3 <= fields.size(); k += 3) {
    const std::string &temp = fields[k], &base = fields[k + 1], &name = fields[k + 2];
    if (temp.empty() || !Fits(temp) || !Fits(base)) continue;
    // A copy gone was kept already (by the ending process's handler).
    all = KeepOne(temp.c_str(), base.c_str(), name.c_str()) >= 0 && all;
  }
  return all;
}
