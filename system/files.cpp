#include "system/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

#include "core/error_codes.h"
#include "core/errors.h"
#include "core/pack.h"
#include "core/run_state.h"
#include "platform/host_files.h"
#include "platform/message_name.h"
#include "platform/present.h"
#include "platform/process.h"

FolderSearch g_folderSearch;

namespace {

std::set<std::string> g_writesLost;  // the writes a built game lost, said once each
// The packed files the program deleted: the folder it was in and the program's name. The packed copy
// is found again at the next start unless the program leaves a file of that name on disk.
std::vector<std::pair<std::string, std::string>> g_packDeletes;


std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Copies a file as the program sees it to a new file on disk. A packed file's copy is made as
// any new file of the game is (0666 less the umask), not as its private temporary copy.
bool CopyReadableFile(const std::string& source, const std::string& target) {
  const std::string readable = ReadablePath(source);
  if (readable == source) return FsCopyFile(source, target);
  const FsAccess access = FsNewFileAccess();
  return FsCopyFile(readable, target, &access);
}

}  // namespace

void SayLost(const std::string& what, const std::string& cause) {
  if (g_runtime.standalone && g_writesLost.insert(what).second)
    std::fprintf(stderr, "%s: cannot %s: %s\n", MessageName(), what.c_str(), cause.c_str());
}

std::string FileUnreadableCause(const std::string& name) {
  if (name.empty()) return "no name given";
  const std::string path = FsResolve(name);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return FileErrorCause(errno);
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file";
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FileErrorCause(errno);
  close(fd);
  return "";
}

void FileWarning(uint32_t code, const std::string& name, const std::string& cause) {
  FileWarning(code, name + ": " + cause);
}

void FileWarning(uint32_t code, const std::string& detail) {
  // A built game goes on past the warning: its text would stay behind for a later error.
  if (!g_runtime.standalone) g_lastEngineError = detail.substr(0, 255);
  RunWarning(code);
}

void WriteLostWarning(uint32_t code, const std::string& name, const std::string& cause, const std::string& what) {
  SayLost(what.empty() ? "write " + name : what, cause);
  FileWarning(code, name, cause);
}

bool WritesLost() {
  const std::string here = FsCurrentFolder();
  for (const auto& [folder, name] : g_packDeletes) {
    const bool back = !FsEnterHostFolder(folder) || !FsPathExists(name);
    if (back) SayLost("delete " + name, "it is packed in the game, which has it again at its next start");
  }
  if (!g_packDeletes.empty()) FsEnterHostFolder(here);
  g_packDeletes.clear();
  return !g_writesLost.empty();
}

void ForgetLostWrites() {
  g_writesLost.clear();
  g_packDeletes.clear();
}

std::string ReadablePath(const std::string& name) {
  std::string copy = name;
  MapThroughPack(copy, "dat");
  return copy;
}

bool FileExists(const std::string& name) { return !name.empty() && FsFileSize(ReadablePath(name)) >= 0; }

int32_t FileSize(const std::string& name) {
  if (name.empty()) return 0;
  int64_t size = FsFileSize(ReadablePath(name));
  return size < 0 ? 0 : int32_t(std::min<int64_t>(size, INT32_MAX));
}

bool IsFileReadOnly(const std::string& name) { return name.empty() || FsIsReadOnly(ReadablePath(name)); }

bool FileOnDisk(const std::string& name) { return !name.empty() && FsFileSize(name) >= 0; }

bool DeleteFileIfExists(const std::string& name) {
  if (!FileExists(name)) return false;
  if (FsPathExists(name) && !FsDeleteFile(name)) return false;
  // A packed file of that name is gone for the rest of the run too.
  // Noted with the folder it was deleted in: the name is looked for there at the end, as the
  // program spells it (folders made since, of another case, count).
  if (g_packReader && g_packReader->DeleteEntry(name)) g_packDeletes.emplace_back(FsCurrentFolder(), name);
  return true;
}

bool MakeFile(const std::string& name) {
  MakePackedFoldersFor(name);
  return !name.empty() && FsMakeFileExclusive(name);
}

int32_t CopyFileCommand(const std::string& source, const std::string& target) {
  if (!FileExists(source)) return kErrFileNotFound;
  MakePackedFoldersFor(target);
  if (CopyReadableFile(source, target)) return 0;
  // Only a target that is there is "File already exists"; anything else (a full disk, a folder
  // that is missing or closed) is a copy that failed, with errno kept for its cause.
  const int error = errno;
  struct stat st;
  const bool taken = !target.empty() && lstat(FsResolveForWrite(target).c_str(), &st) == 0;
  errno = error;
  return taken ? kErrFileExists : kErrFileNotCopied;
}

bool WriteByteToFile(const std::string& name, int64_t offset, uint8_t value) {
  // A file only the pack holds gets its disk copy first, which takes the byte.
  if (!FsPathExists(name)) MakePackedFoldersFor(name);
  if (!FsPathExists(name) && !CopyReadableFile(name, name)) return false;
  return FsPokeByte(name, offset, value);
}

bool RenameFile(const std::string& source, const std::string& target) {
  if (target.empty()) return false;
  MakePackedFoldersFor(target);
  return FsMoveFile(source, target);
}

bool PathExists(const std::string& path) { return FsPathExists(path); }

bool PathExistsWithPack(const std::string& path) {
  if (FsPathExists(path)) return true;
  return g_packReader && !path.empty() && (FileExists(path) || !g_packReader->EntriesBelow(path).empty());
}

bool MakeDirectory(const std::string& path) {
  MakePackedFoldersFor(path);
  return FsMakeFolder(path);
}

bool DeleteDirectoryCommand(const std::string& path) { return PathExists(path) && FsDeleteTree(path, true); }

bool FindFileInFolderTree(const std::string& name, std::string& found) {
  const std::string wanted = Lower(name);
  std::vector<std::string> files;
  if (wanted.empty() || !FsListTreeFiles(".", files)) return false;
  for (const std::string& f : files) {
    size_t slash = f.find_last_of('/');
    const std::string base = FsToProgramName(slash == std::string::npos ? f : f.substr(slash + 1));
    if (Lower(base) != wanted) continue;
    // The whole path is spelled at once, so that the program reaches this file by it.
    found = FsToProgramPath(FsCurrentFolder() + "/" + f);
    return true;
  }
  return false;
}

std::string ExecuteFile(const std::string& file, const std::string& parameters, const std::string& folder,
                        bool wait) {
  // A built game runs in a folder only its pack holds once it is made on disk, and opens a file
  // only its pack holds through a copy of it.
  if (!folder.empty()) MakePackedFoldersFor(folder);
  std::string opened = file;
  if (!opened.empty()) MapThroughPack(opened, PackedCopyExtension(file));
  int pid = ProcessStart(opened, parameters, folder);
  if (pid < 0) {
    const int error = errno;
    if (!folder.empty() && !FsFolderExists(FsResolve(folder))) return folder + ": no such folder to run it in";
    if (const int opener = ProcessOpenerError())
      return file + ": nothing opens it: " + kDocumentOpener + ", the desktop's opener, " +
             (opener == ENOENT ? "is not installed" : "cannot be started: " + FileErrorCause(opener));
    // A FIFO, socket or device of that name is there, and no program.
    if (!file.empty() && FsPathExists(file) && !FsFileExists(file) && !FsFolderExists(FsResolve(file)))
      return file + ": not a regular file";
    return file + ": " + (file.empty() ? "no name given" : FileErrorCause(error));
  }
  if (!wait) {
    ProcessDetach(pid);
    return "";
  }
  WindowApplyShowState(6);
  ProcessWait(pid);
  WindowApplyShowState(9);
  return "";
}

void ResetFolderSearch() { g_folderSearch = FolderSearch{}; }

bool FindFirstEntry() {
  FindCloseSearch();
  std::vector<FsEntry> entries;
  if (!FsListFolder(".", entries) || entries.empty()) return false;
  g_folderSearch.open = true;
  g_folderSearch.entries = std::move(entries);
  g_folderSearch.index = 0;
  g_folderSearch.lastResult = 0;
  return true;
}

void FindNextEntry() {
  FolderSearch& s = g_folderSearch;
  if (!s.open) return;
  if (s.index + 1 < s.entries.size()) {
    ++s.index;
    s.lastResult = 0;
  } else {
    s.lastResult = -1;
  }
}

void FindCloseSearch() { ResetFolderSearch(); }

const FsEntry* CurrentSearchEntry() {
  const FolderSearch& s = g_folderSearch;
  return s.open && s.index < s.entries.size() ? &s.entries[s.index] : nullptr;
}

std::vector<std::string> DriveList() {
  std::vector<std::string> drives;
  for (char c = 'A'; c <= 'Z'; ++c)
    if (!FsDriveRoot(c).empty()) drives.push_back(std::string(1, c) + ":");
  return drives;
}
