#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

std::string Normalise(const std::string& name) {
  std::string s = name;
  for (char& c : s)
    if (c == '\\') c = '/';
  if (s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':') {
    std::string root = FsDriveRoot(s[0]);
    if (root.empty()) root = "/";
    s = s.substr(2);
    if (s.empty() || s[0] != '/') s = "/" + s;
    if (root != "/") s = (root.back() == '/' ? root.substr(0, root.size() - 1) : root) + s;
  }
  return s;
}

// Finds an entry of folder dir whose name equals part ignoring case.
bool MatchInFolder(const std::string& dir, const std::string& part, std::string& found) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  bool ok = false;
  while (dirent* e = readdir(d)) {
    if (FsEqualsNoCase(e->d_name, part)) {
      found = e->d_name;
      ok = true;
      break;
    }
  }
  closedir(d);
  return ok;
}

std::string Resolve(const std::string& name, bool) {
  std::string s = Normalise(name);
  if (s.empty()) return s;
  struct stat st;
  if (lstat(s.c_str(), &st) == 0) return s;  // exact match: the common case
  bool absolute = s[0] == '/';
  std::string out = absolute ? "/" : "";
  size_t pos = absolute ? 1 : 0;
  bool matching = true;
  while (pos <= s.size()) {
    size_t slash = s.find('/', pos);
    if (slash == std::string::npos) slash = s.size();
    std::string part = s.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;
    std::string next = out.empty() || out.back() == '/' ? out + part : out + "/" + part;
    if (matching && part != "." && part != ".." && lstat(next.c_str(), &st) != 0) {
      std::string found;
      std::string dir = out.empty() ? "." : out;
      if (MatchInFolder(dir, part, found))
        next = out.empty() || out.back() == '/' ? out + found : out + "/" + found;
      else
        matching = false;
    }
    out = next;
  }
  if (!s.empty() && s.back() == '/' && (out.empty() || out.back() != '/')) out += '/';
  return out;
}

std::string g_tempFolder;

}  // namespace

bool FsEqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string FsResolve(const std::string& name) { return Resolve(name, false); }
std::string FsResolveForWrite(const std::string& name) { return Resolve(name, true); }

std::string FsToSystemPath(const std::string& hostPath) {
  std::string s = hostPath;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

bool FsFileExists(const std::string& name) {
  struct stat st;
  return stat(FsResolve(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FsFolderExists(const std::string& name) {
  struct stat st;
  return stat(FsResolve(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FsFolderWritable(const std::string& name) {
  return FsFolderExists(name) && access(FsResolve(name).c_str(), W_OK) == 0;
}

bool FsDeleteFile(const std::string& name) { return unlink(FsResolve(name).c_str()) == 0; }

std::string FsCurrentFolder() {
  std::error_code ec;
  auto p = std::filesystem::current_path(ec);
  return ec ? std::string() : p.string();
}

bool FsChangeFolder(const std::string& name) { return chdir(FsResolve(name).c_str()) == 0; }

std::string FsFolderOf(const std::string& path) {
  std::string s = Normalise(path);
  size_t slash = s.find_last_of('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return s.substr(0, slash);
}

bool FsReadFile(const std::string& name, std::string& out) {
  FILE* f = std::fopen(FsResolve(name).c_str(), "rb");
  if (!f) return false;
  out.clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool FsWriteFileAtomic(const std::string& name, const std::string& data) {
  std::string path = FsResolveForWrite(name);
  std::string tmp = path + ".tmp" + std::to_string(getpid());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < data.size()) {
    ssize_t w = write(fd, data.data() + done, data.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      close(fd);
      unlink(tmp.c_str());
      return false;
    }
    done += size_t(w);
  }
  if (close(fd) != 0 || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

const std::string& FsTempFolder() {
  if (!g_tempFolder.empty()) return g_tempFolder;
  const char* base = std::getenv("TMPDIR");
  std::string root = std::string(base && *base ? base : "/tmp") + "/vellumark-" + std::to_string(getuid());
  mkdir(root.c_str(), 0700);
  struct stat st;
  bool safe = lstat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
              (st.st_mode & 077) == 0;
  std::string tmpl = (safe ? root : std::string("/tmp")) + "/run-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  if (mkdtemp(buf.data())) g_tempFolder = buf.data();
  return g_tempFolder;
}

void FsRemoveTempFolder() {
  if (g_tempFolder.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(g_tempFolder, ec);
  g_tempFolder.clear();
}

std::string FsCreateTempFile(const std::string& fileName, const void* data, size_t size) {
  const std::string& folder = FsTempFolder();
  if (folder.empty()) return "";
  std::string path = folder + "/" + fileName;
  // Replace by unlink and create, so a reader of an older copy keeps its data.
  unlink(path.c_str());
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return "";
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t w = write(fd, p + done, size - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      close(fd);
      unlink(path.c_str());
      return "";
    }
    done += size_t(w);
  }
  if (close(fd) != 0) {
    unlink(path.c_str());
    return "";
  }
  return path;
}

std::string FsConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  std::string base = xdg && *xdg ? xdg : std::string(home && *home ? home : "/tmp") + "/.config";
  std::string dir = base + "/vellumark";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir;
}
