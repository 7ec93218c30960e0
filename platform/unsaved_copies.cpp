#include "platform/unsaved_copies.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <set>
#include <algorithm>
#include <utility>

namespace {

constexpr int kMaxCopies = 4;           // two buffers, with room to spare
constexpr int kMaxRecoveryNames = 100;  // "name.recovered" to "name.recovered-100"
constexpr size_t kPathMax = 4096;
constexpr uint64_t kMaxRecordBytes = 1 << 16;
constexpr int kMaxWork = 2;             // a work file for each of the two buffers
// The largest source the system reads (the compiler takes none larger): no work file, nor a
// source compared with one, is read beyond it.
constexpr uint64_t kMaxSourceBytes = uint64_t(256) << 20;
const std::string kRecordName = std::string("/") + kRunFolderCopies;
const std::string kWorkRecordName = std::string("/") + kRunFolderWork;
constexpr char kRecovered[] = ".recovered";

// A copy as the signal handler reads it; base is "<folder>/<name>.recovered", or "" for a
// file that is the only copy and cannot be moved (it is named where it is).
struct Copy {
  char temp[kPathMax];
  char base[kPathMax];
  char name[kPathMax];
};
Copy g_copies[kMaxCopies];
int g_armedCount = 0;  // copies armed; changed by the holder only

// Who has the copies: a count >= 0 armed and free for a handler, or one of these.
constexpr int kHeld = -1;   // the main thread changes them or writes text
constexpr int kTaken = -2;  // a handler keeps them and ends the process
std::atomic<int> g_state{0};
std::atomic<int> g_endWaiting{0};  // an ending found the copies held
int g_holdDepth = 0;
static_assert(std::atomic<int>::is_always_lock_free);

struct Pending {
  std::string temp, base, name;
};
std::vector<Pending> g_pending;

void Put(const char* text) {
  for (size_t left = std::strlen(text); left > 0;) {
    const ssize_t w = write(2, text, left);
    if (w <= 0 && errno != EINTR) return;  // a closed or gone stderr: the text is kept all the same
    if (w > 0) text += w, left -= size_t(w);
  }
}

// The words said while ended runs are swept, for the environment to show. The sweep runs on
// the main thread before any copy is armed, so no signal handler says anything meanwhile.
bool g_sweeping = false;
std::vector<std::string> g_sweepSaid;
struct Sweeping {
  Sweeping() { g_sweeping = true; }
  ~Sweeping() { g_sweeping = false; }
};

void SayKept(const char* name, const char* path) {
  Put("vellumark: edit: the unsaved changes of ");
  Put(name);
  Put(path[0] ? " are kept in " : " could not be kept");
  Put(path);
  Put("\n");
  if (g_sweeping)
    g_sweepSaid.push_back(std::string("the unsaved changes of ") + name +
                          (path[0] ? " are kept in " : " could not be kept") + path);
}

bool Exists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

// "-n" after base into out (n > 1), with system calls only.
void Numbered(const char* base, int n, char* out) {
  const size_t length = std::strlen(base);
  std::memcpy(out, base, length + 1);
  if (n <= 1) return;
  char digits[8];
  int count = 0;
  for (int v = n; v > 0; v /= 10) digits[count++] = char('0' + v % 10);
  out[length] = '-';
  for (int k = 0; k < count; ++k) out[length + 1 + size_t(k)] = digits[count - 1 - k];
  out[length + 1 + size_t(count)] = 0;
}

constexpr int kNotACopy = -2;

// Links temp to the first free name of base, base-2, ... (into out) and removes the temporary
// name: 1 when linked, 0 when temp is gone (kept already), -1 when it could not be linked,
// kNotACopy when no regular file of this user's is at temp (a link, say). Both are in one folder, opened once:
// the name is checked and linked relative to it, never through a link, and what was linked is
// the file checked, or it is taken back. System calls only.
int LinkToFreeName(const char* temp, const char* base, char* out) {
  const char* tempName = std::strrchr(temp, '/');
  const char* baseName = std::strrchr(base, '/');
  if (!tempName || !baseName || size_t(tempName - temp) >= kPathMax) return -1;
  char folder[kPathMax];
  const size_t length = tempName == temp ? 1 : size_t(tempName - temp);
  std::memcpy(folder, temp, length);
  folder[length] = 0;
  ++tempName, ++baseName;
  const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return Exists(temp) ? -1 : 0;
  struct stat checked, linked {};  // linked: unset where nothing is at the name
  int result = -1;
  if (fstatat(dir, tempName, &checked, AT_SYMLINK_NOFOLLOW) != 0) {
    result = errno == ENOENT ? 0 : -1;
  } else if (!S_ISREG(checked.st_mode) || checked.st_uid != getuid()) {
    result = kNotACopy;  // a copy is this user's regular file: another user's is neither linked nor removed
  } else {
    if (g_unsavedCopyChecked) g_unsavedCopyChecked(temp);
    for (int n = 1; n <= kMaxRecoveryNames && std::strlen(base) + 8 < kPathMax; ++n) {
      Numbered(base, n, out);
      const char* name = out + (baseName - base);
      if (linkat(dir, tempName, dir, name, 0) != 0) {
        if (errno == EEXIST) continue;
        result = fstatat(dir, tempName, &linked, AT_SYMLINK_NOFOLLOW) == 0 ? -1 : 0;
        break;
      }
      if (g_unsavedCopyLinked) g_unsavedCopyLinked(out);
      // Another file put at the name since the check is not the copy: its link goes again.
      if (fstatat(dir, name, &linked, AT_SYMLINK_NOFOLLOW) != 0 || linked.st_dev != checked.st_dev ||
          linked.st_ino != checked.st_ino) {
        unlinkat(dir, name, 0);
        result = kNotACopy;
        break;
      }
      unlinkat(dir, tempName, 0);
      result = 1;
      break;
    }
  }
  close(dir);
  return result;
}

// Makes one copy a recovery file and says where the text is (as LinkToFreeName answers).
int KeepOne(const char* temp, const char* base, const char* name) {
  char path[kPathMax];
  const int linked = base[0] ? LinkToFreeName(temp, base, path) : Exists(temp) ? -1 : 0;
  if (linked != 0) SayKept(name, linked > 0 ? path : linked == kNotACopy ? "" : temp);
  return linked;
}

bool KeepArmed(int count) {
  bool all = count > 0;
  for (int k = 0; k < count; ++k) all = KeepOne(g_copies[k].temp, g_copies[k].base, g_copies[k].name) > 0 && all;
  return all;
}

bool Fits(const std::string& text) { return text.size() < kPathMax; }

std::string FullFolder(const std::string& folder) {
  // A full path: the run may change the working folder before a handler links it.
  std::string plain = folder[0] == '/' ? folder : FsCurrentFolder() + "/" + folder;
  if (plain.size() > 1 && plain.back() == '/') plain.pop_back();
  return plain;
}

std::string Base(const std::string& folder, const std::string& name) {
  return (folder == "/" ? "" : folder) + "/" + UnsavedRecoveryName(name);
}

// The places a recovery file of name for folder can be: beside the source (none for a folder
// "", a buffer without a name where no settings folder was), and the settings folder where
// there is one.
std::vector<std::string> RecoveryBases(const std::string& folder, const std::string& name) {
  std::vector<std::string> bases;
  if (!folder.empty()) bases.push_back(Base(folder, name));
  if (const std::string settings = FsConfigFolder(); !settings.empty()) bases.push_back(Base(settings, name));
  return bases;
}

// A hidden name for the copy that says whose text it holds, unused by saves' temporaries.
std::string CopyName(const std::string& folder, const std::string& name) {
  static std::random_device random;
  return folder + "/." + name.substr(0, 100) + ".unsaved-" + std::to_string(getpid()) + "-" +
         std::to_string(random() % 1000000);
}

// Splits a path at its last '/' into its folder (without trailing '/', "" for the root) and name.
void SplitPath(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.rfind('/');
  folder = slash == std::string::npos ? "" : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
}

// A name a recovery file is made from: one component, not "." or "..".
bool PlainName(const std::string& name) {
  return !name.empty() && Fits(name) && name.find('/') == std::string::npos && name != "." && name != "..";
}

bool AllDigits(const std::string& s, size_t from, size_t to) {
  return from < to && to <= s.size() &&
         std::all_of(s.begin() + std::ptrdiff_t(from), s.begin() + std::ptrdiff_t(to),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// Whether a file name is a copy's as CopyName makes it: ".<name's start>.unsaved-<pid>-<n>";
// any name's when name is "".
bool IsCopyName(const std::string& file, const std::string& name) {
  const std::string infix = ".unsaved-";
  const size_t at = name.empty() ? file.rfind(infix) : name.substr(0, 100).size() + 1;
  if (file.empty() || file[0] != '.' || at == std::string::npos || at < 2 ||
      at + infix.size() > file.size() || file.compare(at, infix.size(), infix) != 0)
    return false;
  if (!name.empty() && file.compare(1, at - 1, name.substr(0, 100)) != 0) return false;
  const size_t dash = file.find('-', at + infix.size());
  return dash != std::string::npos && AllDigits(file, at + infix.size(), dash) &&
         AllDigits(file, dash + 1, file.size());
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The run folder of an ended process, open as fd, whose records are checked against it: a file
// of the run is one its records name in a folder of the run folder's name (whatever path led
// there), but for its lock and records; it is only ever opened relative to fd.
struct DeadRun {
  std::string path;  // for messages
  int fd = -1;
  std::string name;  // the folder's own name
  // The file's name in the run folder, "" when it is not a file of the run.
  std::string FileName(const std::string& file) const {
    std::string folder, base, above, last;
    SplitPath(file, folder, base);
    SplitPath(folder, above, last);
    if (!Fits(file) || file.empty() || file[0] != '/' || !PlainName(base) || base == kRunFolderLock ||
        base == kRunFolderCopies || base == kRunFolderWork || last != name)
      return "";
    return base;
  }
  bool Holds(const std::string& file) const { return !FileName(file).empty(); }
  // A file of the run that is a regular file there (not a link to one).
  bool HoldsRegular(const std::string& file) const {
    struct stat st;
    const std::string base = FileName(file);
    return !base.empty() && fstatat(fd, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
  }
  // The work files there: where the text is when no record says.
  std::vector<std::string> WorkFiles() const {
    std::vector<std::string> files;
    for (const char* work : kRunFolderWorkFiles)
      if (HoldsRegular(path + "/" + work)) files.push_back(path + "/" + work);
    return files;
  }
};

// Says where the text of a record entry that is not followed is: "they are in" the place.
void SayLeft(const std::string& whose, const std::string& why, const std::string& place) {
  const std::string words = "the unsaved changes of " + whose + " could not be kept (" + why + "): they are in " + place;
  Put(("vellumark: edit: " + words + "\n").c_str());
  if (g_sweeping) g_sweepSaid.push_back(words);
}

// A record of the run folder as its fields; whole when it is missing (nothing to keep) or ends
// with a field's end and holds whole entries of size fields, no more than a run writes.
bool ReadRecord(const DeadRun& run, const char* name, size_t size, size_t most, std::vector<std::string>& fields) {
  std::string record;
  const FsRead read = FsReadRegularFileAt(run.fd, name, record, kMaxRecordBytes);
  fields.clear();
  // A run never leaves an empty record (it removes it): one is what a machine stop leaves.
  bool whole = (read == FsRead::kOk && !record.empty()) || read == FsRead::kMissing;
  for (size_t at = 0, end; at < record.size(); at = end + 1) {
    end = record.find('\0', at);
    if (end == std::string::npos) end = record.size(), whole = false;  // cut inside a field
    fields.push_back(record.substr(at, end - at));
  }
  return whole && fields.size() % size == 0 && fields.size() <= size * most;
}

// Names the files a record that cannot be followed leaves the text in: those of its entries
// that are the run's own files or copies beside sources, else the run folder's work files, else
// the run folder itself.
void SayRecordLeft(const DeadRun& run, const std::string& record, const std::vector<std::string>& fields,
                   size_t size) {
  std::set<std::string> named;
  for (size_t k = 0; k < fields.size(); k += size) {
    std::string folder, name;
    SplitPath(fields[k], folder, name);
    const bool copy = !fields[k].empty() && fields[k][0] == '/' && IsCopyName(name, "");
    if ((run.HoldsRegular(fields[k]) || (copy && IsRegularFile(fields[k]))) && named.insert(fields[k]).second)
      SayLeft("an ended run", record + " is damaged", fields[k]);
  }
  if (named.empty()) {
    for (const std::string& file : run.WorkFiles()) {
      named.insert(file);
      SayLeft("an ended run", record + " is damaged", file);
    }
  }
  if (named.empty()) SayLeft("an ended run", record + " is damaged", run.path);
}

// Why a copy's entry is not followed, "" when it is as a run writes one: a copy beside its
// recovery name in the same folder, or a work file of the run standing as the only copy.
std::string CopyRefusal(const DeadRun& run, const Pending& c) {
  if (!PlainName(c.name)) return "not a file name";
  if (c.base.empty()) return run.Holds(c.temp) ? "" : c.temp + ": not a file of the run";
  std::string tempFolder, tempName, baseFolder, baseName;
  SplitPath(c.temp, tempFolder, tempName);
  SplitPath(c.base, baseFolder, baseName);
  const bool beside = Fits(c.temp) && Fits(c.base) && c.temp[0] == '/' && tempFolder == baseFolder &&
                      baseName == UnsavedRecoveryName(c.name) && IsCopyName(tempName, c.name);
  return beside ? "" : c.temp + ": not a copy beside " + c.base;
}

// Why a work file's entry is not followed, "" when it is as a run writes one: a work file of the
// run, recovered as a plain name in a full folder, compared with that name's source there.
std::string WorkRefusal(const DeadRun& run, const UnsavedWork& w, std::set<std::string>& seen) {
  if (!PlainName(w.name)) return "not a file name";
  if (!w.folder.empty() && w.folder[0] != '/') return w.folder + ": not a full path";
  if (!run.Holds(w.file)) return w.file + ": not a file of the run";
  if (!seen.insert(w.file).second) return w.file + ": listed twice";
  if (w.source.empty()) return "";
  std::string sourceFolder, sourceName, folder = w.folder;
  SplitPath(w.source, sourceFolder, sourceName);
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  return sourceFolder == folder && sourceName == w.name ? "" : w.source + ": not " + w.name + " in " + w.folder;
}

// The recovery files a dead process's copies become; bases receives those linked now. A work
// file listed as the only copy is left to the work files' pass.
bool RecoverCopies(const DeadRun& run, const std::vector<Pending>& copies, const std::set<std::string>& workFiles,
                   std::multiset<std::string>& bases) {
  bool all = true;
  for (const Pending& c : copies) {
    if (c.base.empty() && workFiles.count(c.temp)) continue;
    if (c.base.empty()) {
      // A file of the run that is the only copy stays where it is, and is named there.
      if (!run.HoldsRegular(c.temp)) continue;
      SayKept(c.name.c_str(), c.temp.c_str());
      all = false;
      continue;
    }
    // A copy gone was kept already (by the ending process's handler), or went with its folder:
    // the work file has the text then. A link, or anything else, in a copy's place is never made a
    // recovery file.
    char path[kPathMax];
    const int kept = LinkToFreeName(c.temp.c_str(), c.base.c_str(), path);
    if (kept == kNotACopy) SayLeft(c.name, c.temp + ": not a copy of the run", run.path);
    else if (kept != 0) SayKept(c.name.c_str(), kept > 0 ? path : c.temp.c_str());
    if (kept > 0) bases.insert(c.base);
    all = kept >= 0 && all;
  }
  return all;
}

// Takes a copy linked now for the buffer whose recovery goes to folder (or the settings folder).
bool TakeKeptCopy(std::multiset<std::string>& bases, const std::string& folder, const std::string& name) {
  for (const std::string& base : RecoveryBases(folder, name)) {
    const auto at = bases.find(base);
    if (at == bases.end()) continue;
    bases.erase(at);
    return true;
  }
  return false;
}

// Whether a recovery file of name, beside its source or in the settings folder, holds the text
// already: the ended process kept it before its folder could go.
bool KeptAlready(const std::string& folder, const std::string& name, const std::string& text) {
  for (const std::string& base : RecoveryBases(folder.empty() ? "" : FullFolder(folder), name)) {
    char path[kPathMax];
    for (int n = 1; n <= kMaxRecoveryNames && base.size() + 8 < kPathMax; ++n) {
      Numbered(base.c_str(), n, path);
      struct stat st;
      std::string kept;
      if (lstat(path, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) == text.size() &&
          FsReadRegularFile(path, kept, text.size(), false) == FsRead::kOk && kept == text)
        return true;
    }
  }
  return false;
}

// The work files whose text no copy kept and which differ from their sources.
bool RecoverWork(const DeadRun& run, const std::vector<UnsavedWork>& entries, std::multiset<std::string>& bases) {
  bool all = true;
  for (const UnsavedWork& w : entries) {
    if (TakeKeptCopy(bases, w.folder, w.name)) continue;
    std::string work, saved;
    const FsRead got = FsReadRegularFileAt(run.fd, run.FileName(w.file), work, kMaxSourceBytes);
    // Listed but gone: its last write failed, and the text went with the process.
    if (got == FsRead::kMissing) {
      SayKept(w.name.c_str(), "");
      continue;
    }
    if (got != FsRead::kOk) {
      SayLeft(w.name, w.file + ": " + FsReadCause(got, "a source"), w.file);
      all = false;
      continue;
    }
    const std::string text = w.sourceHeader + work.substr(std::min(w.headerBytes, work.size()));
    if (!w.source.empty() && FsReadRegularFile(w.source, saved, kMaxSourceBytes, false) == FsRead::kOk &&
        saved == text)
      continue;
    if (KeptAlready(w.folder, w.name, text)) continue;
    // Where the source's folder is gone (moved, deleted) the settings folder takes the text.
    const FsAccess access = w.source.empty() ? FsAccess{} : FsAccessOf(w.source);
    all = !UnsavedKeepText(w.folder, w.name, text, access, w.file).empty() && all;
  }
  return all;
}

// The first record write that failed since it was last taken.
UnsavedRecordFailure g_recordFailure;

// Writes a record of the run folder (none: removes it); a failure is kept to be said.
bool WriteRunRecord(const std::string& path, const std::string& record) {
  const bool ok = record.empty() ? unlink(path.c_str()) == 0 || errno == ENOENT : FsWriteFileDurable(path, record);
  if (!ok && g_recordFailure.path.empty()) g_recordFailure = {path, FileErrorCause(errno)};
  return ok;
}

// Lists the copies in the run folder, where the next start finds them after a kill.
bool WriteRecord() {
  const std::string& runFolder = FsTempFolder();
  if (runFolder.empty()) return true;
  std::string record;
  for (size_t k = 0; k < g_pending.size() && k < size_t(kMaxCopies); ++k)
    record += g_pending[k].temp + '\0' + g_pending[k].base + '\0' + g_pending[k].name + '\0';
  return WriteRunRecord(runFolder + kRecordName, record);
}

}  // namespace

void (*g_unsavedCopyChecked)(const char* copy) = nullptr;
void (*g_unsavedCopyLinked)(const char* name) = nullptr;

std::string UnsavedRecoveryName(const std::string& name) {
  constexpr size_t kLongest = NAME_MAX - 4;  // room for "-100"
  constexpr size_t kSuffix = sizeof kRecovered - 1;
  if (name.size() + kSuffix <= kLongest) return name + kRecovered;
  const size_t dot = name.rfind('.');
  const std::string ext = dot != std::string::npos && dot > 0 && name.size() - dot <= 16 ? name.substr(dot) : "";
  size_t keep = kLongest - kSuffix - ext.size();
  // Cut before a character, not inside one.
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return name.substr(0, keep) + ext + kRecovered;
}

std::string UnsavedWriteRecovery(const std::string& folder, const std::string& name, const std::string& text,
                                 const FsAccess& access) {
  if (folder.empty() || !FsFolderWritable(folder)) return "";
  const std::string base = Base(FullFolder(folder), name);
  char path[kPathMax];
  for (int n = 1; n <= kMaxRecoveryNames && base.size() + 8 < kPathMax; ++n) {
    Numbered(base.c_str(), n, path);
    // New every time: a name there in any form (a file, a link planted to send the text
    // elsewhere) is taken.
    const FsNewFile made = FsWriteNewFile(path, text, access);
    if (made != FsNewFile::kTaken) return made == FsNewFile::kWritten ? path : "";
  }
  return "";
}

std::string UnsavedKeepText(const std::string& folder, const std::string& name, const std::string& text,
                            const FsAccess& access, const std::string& stays) {
  std::string path = folder.empty() ? "" : UnsavedWriteRecovery(folder, name, text, access);
  if (path.empty()) path = UnsavedWriteRecovery(FsConfigFolder(), name, text, FsAccess{});
  SayKept(name.c_str(), path.empty() ? stays.c_str() : path.c_str());
  return path;
}

void UnsavedSayKept(const std::string& name, const std::string& path) { SayKept(name.c_str(), path.c_str()); }

void UnsavedCopiesHold() {
  if (g_holdDepth++ > 0) return;
  int state = g_state.load();
  for (;;) {
    // A handler on another thread keeps the copies and ends the process.
    while (state == kTaken) {
      pause();
      state = g_state.load();
    }
    if (g_state.compare_exchange_weak(state, kHeld)) return;
  }
}

bool UnsavedCopiesRelease() {
  if (g_holdDepth == 0 || --g_holdDepth > 0) return false;
  g_state.store(g_armedCount);
  // Read after the store: an ending that saw the hold has said so by now, and a later one
  // finds the copies free and carries itself out.
  return g_endWaiting.load() != 0;
}

bool UnsavedCopyAdd(const std::string& folder, const std::string& name, const std::string& text,
                    const FsAccess& access) {
  if (folder.empty() || name.empty() || !FsFolderWritable(folder)) return false;
  const std::string plain = FullFolder(folder), base = Base(plain, name);
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temp = CopyName(plain, name);
    if (!Fits(temp) || !Fits(base)) return false;
    // Listed before it is made, and named only once whole and private from its first byte
    // (FsWriteNewFile): after a kill at any moment the next start finds a whole copy or none.
    g_pending.push_back({temp, base, name});
    if (!WriteRecord()) {
      // Unlisted, a copy would be found by no one after a kill: none is made.
      g_pending.pop_back();
      WriteRecord();
      return false;
    }
    const FsNewFile made = FsWriteNewFile(temp, text, access);
    if (made == FsNewFile::kWritten) return true;
    g_pending.pop_back();
    WriteRecord();
    if (made != FsNewFile::kTaken) return false;
  }
  return false;
}

void UnsavedCopyAddOnlyCopy(const std::string& file, const std::string& name) {
  if (!Fits(file) || !Fits(name)) return;
  g_pending.push_back({file, "", name});
  WriteRecord();
}

void UnsavedCopiesArm() {
  int count = 0;
  for (const Pending& p : g_pending) {
    if (count == kMaxCopies) break;
    Copy& c = g_copies[count++];
    std::memcpy(c.temp, p.temp.c_str(), p.temp.size() + 1);
    std::memcpy(c.base, p.base.c_str(), p.base.size() + 1);
    std::memcpy(c.name, p.name.c_str(), p.name.size() + 1);
  }
  g_armedCount = count;
}

void UnsavedCopiesDrop() {
  g_armedCount = 0;
  if (g_pending.empty()) return;
  // The record goes last: an end meanwhile leaves no copy that nothing lists (the next start
  // takes a listed copy that is gone as kept).
  for (const Pending& p : g_pending)
    if (!p.base.empty()) unlink(p.temp.c_str());
  const std::string& runFolder = FsTempFolder();
  if (!runFolder.empty()) unlink((runFolder + kRecordName).c_str());
  g_pending.clear();
}

std::vector<std::string> UnsavedCopiesKeepHeld() {
  const int count = g_armedCount;
  g_armedCount = 0;
  std::vector<std::string> kept;
  for (int k = 0; k < count; ++k) {
    const Copy& c = g_copies[k];
    char path[kPathMax];
    if (!c.base[0] || LinkToFreeName(c.temp, c.base, path) <= 0) continue;
    SayKept(c.name, path);
    kept.push_back(c.name);
  }
  return kept;
}

UnsavedKeep UnsavedCopiesKeep() {
  // Said before looking: a holder that releases after this sees it and ends the process.
  g_endWaiting.store(1);
  int state = g_state.load();
  do {
    if (state < 0) return UnsavedKeep::kBusy;
  } while (!g_state.compare_exchange_weak(state, kTaken));
  if (state == 0) return UnsavedKeep::kNone;
  return KeepArmed(state) ? UnsavedKeep::kKept : UnsavedKeep::kNotAll;
}

void UnsavedWorkNote(const std::vector<UnsavedWork>& work) {
  const std::string& runFolder = FsTempFolder();
  if (runFolder.empty()) return;
  std::string record;
  for (const UnsavedWork& w : work)
    for (const std::string& field :
         {w.file, w.source, w.folder, w.name, std::to_string(w.headerBytes), w.sourceHeader})
      record += field + '\0';
  const std::string path = runFolder + kWorkRecordName;
  if (WriteRunRecord(path, record) || record.empty()) return;
  // An older record would name fewer work files than hold text now: an empty one, which needs
  // no room on the disk, is taken as damaged, and the folder is kept with its work files named.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) close(fd);
}

UnsavedRecordFailure UnsavedTakeRecordFailure() { return std::exchange(g_recordFailure, {}); }

std::vector<std::string> UnsavedTakeSweepSaid() { return std::exchange(g_sweepSaid, {}); }

bool UnsavedCopiesRecover(const std::string& runFolder) {
  const int fd = open(runFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool all = UnsavedCopiesRecover(fd, runFolder);
  close(fd);
  return all;
}

bool UnsavedCopiesRecover(int runFolder, const std::string& path) {
  const Sweeping sweeping;
  std::string above, name;
  SplitPath(path, above, name);
  const DeadRun run{path, runFolder, name};
  const std::string copyRecord = path + "/" + kRunFolderCopies, workRecord = path + "/" + kRunFolderWork;
  std::vector<std::string> f;
  bool all = true;
  // Copies: temp, base, name.
  std::vector<Pending> copies;
  bool whole = ReadRecord(run, kRunFolderCopies, 3, kMaxCopies, f);
  for (size_t k = 0; whole && k < f.size(); k += 3) whole = !f[k].empty() && !f[k + 2].empty();
  for (size_t k = 0; whole && k < f.size(); k += 3) {
    Pending c{f[k], f[k + 1], f[k + 2]};
    const std::string why = CopyRefusal(run, c);
    if (why.empty()) copies.push_back(std::move(c));
    else SayLeft(c.name, copyRecord + ": " + why, run.HoldsRegular(c.temp) ? c.temp : path);
    all = why.empty() && all;
  }
  if (!whole) SayRecordLeft(run, copyRecord, f, 3);
  all = whole && all;
  // Work files: file, source, folder, name, header bytes, the source's header. A buffer without
  // a name has no folder where the run had no settings folder.
  std::vector<UnsavedWork> work;
  whole = ReadRecord(run, kRunFolderWork, 6, kMaxWork, f);
  for (size_t k = 0; whole && k < f.size(); k += 6)
    whole = !f[k].empty() && (!f[k + 2].empty() || f[k + 1].empty()) && !f[k + 3].empty() &&
            AllDigits(f[k + 4], 0, f[k + 4].size()) &&
            f[k + 4].size() < 12 && std::stoull(f[k + 4]) <= kMaxSourceBytes;
  std::set<std::string> workFiles;
  for (size_t k = 0; whole && k < f.size(); k += 6) {
    UnsavedWork w{f[k], f[k + 1], f[k + 2], f[k + 3], size_t(std::stoull(f[k + 4])), f[k + 5]};
    const std::string why = WorkRefusal(run, w, workFiles);
    if (why.empty()) work.push_back(std::move(w));
    else SayLeft(w.name, workRecord + ": " + why, run.HoldsRegular(w.file) ? w.file : path);
    all = why.empty() && all;
  }
  if (!whole) SayRecordLeft(run, workRecord, f, 6);
  all = whole && all;
  // A start killed while it kept this run's text left its temporaries where that text goes.
  std::set<std::string> places;
  for (const Pending& c : copies) {
    std::string folder, base;
    if (!c.base.empty()) SplitPath(c.base, folder, base), places.insert(folder.empty() ? "/" : folder);
  }
  for (const UnsavedWork& w : work) places.insert(w.folder);
  if (!work.empty()) places.insert(FsConfigFolder());  // where a work file's text goes otherwise
  for (const std::string& place : places)
    if (!place.empty()) FsRemoveEndedTemporaries(place);
  std::multiset<std::string> bases;
  all = RecoverCopies(run, copies, workFiles, bases) && all;
  return RecoverWork(run, work, bases) && all;
}
