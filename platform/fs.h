#pragma once
#include <cstdint>
#include <string>

// The path layer: every file name the system opens passes through here. Both '\' and '/'
// separate folders, a drive letter "X:" maps to the file-system root, and each component of
// a path is matched case-insensitively against what exists (an exact match wins).
std::string FsResolve(const std::string& name);
// As FsResolve, for a file about to be created: existing folders are matched, the rest is
// kept as given (with '/' separators).
std::string FsResolveForWrite(const std::string& name);
// Turns a host path into the system's own form with backslashes (for texts shown to programs).
std::string FsToSystemPath(const std::string& hostPath);

bool FsEqualsNoCase(const std::string& a, const std::string& b);
bool FsFileExists(const std::string& name);
bool FsFolderExists(const std::string& name);
// True when the folder exists and files can be created in it.
bool FsFolderWritable(const std::string& name);
bool FsDeleteFile(const std::string& name);
std::string FsCurrentFolder();
bool FsChangeFolder(const std::string& name);
// Folder part of a path, without the trailing separator ("" when none).
std::string FsFolderOf(const std::string& path);

bool FsReadFile(const std::string& name, std::string& out);
// Reads a regular file without ever blocking on a pipe or a device. With cut set, at most
// maxBytes of it are read; otherwise a file of more than maxBytes is refused unread.
enum class FsRead { kOk, kMissing, kNotRegular, kTooLarge, kFailed };
FsRead FsReadRegularFile(const std::string& name, std::string& out, uint64_t maxBytes, bool cut);
// Creates an empty file only where the name does not exist at all (not even as a dangling
// link); false otherwise.
bool FsCreateEmptyFile(const std::string& name);
// Writes a temporary file of a short random name beside the target and renames it into
// place, so a failed save leaves the old file as it was. A symbolic link is written through
// to its target; a replaced file keeps its mode; a target that exists but is not a regular
// file is refused.
bool FsWriteFileAtomic(const std::string& name, const std::string& data);

// The private temporary folder of this process ("run-<pid>-XXXXXX"): created on first use
// with mode 0700 inside a per-user folder that is checked to belong to the user and not to
// be a link, after removing the folders there of processes that no longer exist; removed
// with everything in it by FsRemoveTempFolder (at shutdown) or by a hang-up signal.
const std::string& FsTempFolder();
void FsRemoveTempFolder();
// Creates (or replaces) a file in the temporary folder without following links, truncated,
// mode 0600. Returns the full path, or "" on failure.
std::string FsCreateTempFile(const std::string& fileName, const void* data, size_t size);
// The per-user settings folder ($XDG_CONFIG_HOME/vellumark), created when missing.
std::string FsConfigFolder();
