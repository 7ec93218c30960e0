#include "platform/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/ini_text.h"
#include "platform/message_name.h"

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool SameText(const std::string& a, const std::string& b) { return FsEqualsNoCase(a, b); }

// Settings files are a few kilobytes and the debug log (VK.LOG, written as one) stays far below
// this; anything larger is not one.
constexpr uint64_t kMaxIniBytes = uint64_t(4) << 20;

// The text of a settings file (a host path), read as every outside file is: a regular file, bounded,
// never waiting on a pipe or a device. False (and no lines) for a file that exists but is not one
// that can be read so, or whose bytes are no text it can read; a missing file is an empty one.
// With linkEmpty the file is read by its own name only: a link there reads as a missing file.
bool ReadLines(const std::string& path, IniText& text, bool linkEmpty = false) {
  text = IniText();
  std::string bytes;
  FsRead read = FsRead::kFailed;
  if (!linkEmpty) {
    read = FsReadHostRegularFile(path, bytes, kMaxIniBytes, false);
  } else {
    const std::string folder = FsHostFolderOf(path);
    const int at = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string name = path.substr(path.rfind('/') + 1);
    struct stat st;
    if (at >= 0) read = FsReadRegularFileAt(at, name, bytes, kMaxIniBytes);
    if (read == FsRead::kNotRegular && fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
      read = FsRead::kMissing;
    if (at >= 0) close(at);
  }
  if (read != FsRead::kOk) return read == FsRead::kMissing;
  if (IniDecodeText(bytes, text)) return true;
  text = IniText();
  errno = EILSEQ;
  return false;
}

// Section name of a "[name]" line, or false.
bool SectionOf(const std::string& line, std::string& name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

bool KeyOf(const std::string& line, std::string& key, std::string& value) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(line.substr(0, eq));
  // Only trailing blanks leave the value: " 1" is not "1".
  value = line.substr(eq + 1);
  size_t end = value.find_last_not_of(" \t\r\n");
  value = end == std::string::npos ? std::string() : value.substr(0, end + 1);
  return true;
}

}  // namespace

std::string IniGetString(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& defaultValue) {
  std::string path = FsResolve(file);
  bool inSection = false;
  IniText text;
  ReadLines(path, text);  // a file that cannot be read gives the defaults
  for (const std::string& line : text.lines) {
    std::string name, k, v;
    if (SectionOf(line, name)) {
      inSection = SameText(name, section);
    } else if (inSection && KeyOf(line, k, v) && SameText(k, key)) {
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      return v;
    }
  }
  return defaultValue;
}

namespace {

// Whether the user locked a settings file: made it read-only (a link written through counts by
// its target), or made the settings folder holding it read-only. Such a file is never written,
// by root neither; the first one met in a process is said. The debug log (replaceLink), no
// setting, is refused so in any folder its owner made read-only, and its writer says why.
bool Locked(const std::string& path, bool replaceLink) {
  if (replaceLink) {
    if (!FsReplaceHostFileLocked(path)) return false;
    errno = EACCES;
    return true;
  }
  const std::string folder = FsHostFolderOf(path);
  const bool file = FsHostFileReadOnly(path);
  if (!file && !FsConfigFolderLocked(folder.empty() ? "." : folder)) return false;
  static bool said = false;
  if (!std::exchange(said, true))
    std::fprintf(stderr, "%s: no settings can be kept in %s: it is read-only\n", MessageName(),
                 file ? path.c_str() : folder.c_str());
  errno = EACCES;
  return true;
}

// Writes one key into the file at the host path; with replaceLink a link there is neither read
// nor written through but replaced.
bool WriteKey(const std::string& path, const std::string& section, const std::string& key,
              const std::string& value, bool replaceLink) {
  if (key.empty() || section.empty()) return false;
  IniText text;
  // A file that is there but cannot be read (not a regular file, too large, not text) is left as
  // it is rather than replaced by the one key.
  if (!ReadLines(path, text, replaceLink)) return false;
  std::vector<std::string>& lines = text.lines;
  int sectionLine = -1, lastInSection = -1, keyLine = -1;
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string name, k, v;
    if (SectionOf(lines[i], name)) {
      inSection = SameText(name, section);
      if (inSection && sectionLine < 0) sectionLine = lastInSection = int(i);
    } else if (inSection) {
      if (!Trim(lines[i]).empty()) lastInSection = int(i);
      if (keyLine < 0 && KeyOf(lines[i], k, v) && SameText(k, key)) keyLine = int(i);
    }
  }
  std::string entry = key + "=" + value;
  if (keyLine >= 0) {
    if (lines[keyLine] == entry) return true;  // already so: the file is left alone
    lines[keyLine] = entry;
  } else if (sectionLine >= 0) {
    lines.insert(lines.begin() + lastInSection + 1, entry);
  } else {
    lines.push_back("[" + section + "]");
    lines.push_back(entry);
  }
  // Written back in the file's own encoding and line ends.
  std::string bytes;
  if (!IniEncodeText(text, bytes) || Locked(path, replaceLink)) return false;
  return replaceLink ? FsReplaceHostFile(path, bytes) : FsWriteHostFileAtomic(path, bytes);
}

}  // namespace

std::string IniWriteCause(const std::string& file, int error) {
  if (error != EILSEQ) return FileErrorCause(error);
  IniText text;
  if (!ReadLines(FsResolveForWrite(file), text)) return "its form is not one the environment reads (text, or UTF-16 with its byte-order mark)";
  return "the text cannot be spelled in its UTF-16";
}

bool IniWriteHostString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  return WriteKey(path, section, key, value, true);
}

bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  return WriteKey(FsResolveForWrite(file), section, key, value, false);
}
