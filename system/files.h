#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/fs.h"

// File utilities of the runtime. Existence and size checks see a file as the program does:
// a packed entry of that name counts, and a file stream reads that entry (ReadablePath). The
// other file operations after the checks act on the name on disk.
bool FileExists(const std::string& name);
// The file read for name: a packed entry's temporary copy, or the name itself.
std::string ReadablePath(const std::string& name);
// Size of the file as the program sees it; 0 when it does not open (clamped to 2^31-1).
int32_t FileSize(const std::string& name);
// True when the file is read-only, or missing.
bool IsFileReadOnly(const std::string& name);
// True when a file of that name is on disk (the pack aside) and opens for reading.
bool FileOnDisk(const std::string& name);
// Deletes the file when FileExists finds it, on disk and in the pack (for the rest of the run);
// false when it is not found, or the disk refused (errno then says why).
bool DeleteFileIfExists(const std::string& name);
// Makes a new empty file; false when it exists or cannot be made.
bool MakeFile(const std::string& name);
// Copies the file as the program sees it (a packed one too). 0 when copied; 105 when the
// source is missing; 106 when the target exists (a dangling link
// too); 8023 when the copy fails otherwise, errno holding the cause.
int32_t CopyFileCommand(const std::string& source, const std::string& target);
// Writes one byte of the file in place (it keeps its length; an offset outside it writes
// nothing). A file only the pack holds is copied to disk first and written there. False when
// the file cannot be written, errno holding the cause.
bool WriteByteToFile(const std::string& name, int64_t offset, uint8_t value);
// Renames without replacing an existing target.
bool RenameFile(const std::string& source, const std::string& target);
bool PathExists(const std::string& path);
// PATH EXIST: as PathExists, and a built game's packed file or a folder of packed files counts,
// as FILE EXIST finds the files in it.
bool PathExistsWithPack(const std::string& path);
bool MakeDirectory(const std::string& path);
// Deletes the folder and everything in it; false when it does not exist or may not be deleted
// (the real root and the home folder).
bool DeleteDirectoryCommand(const std::string& path);
// Looks for a file (any case) in the current folder and below; on a hit, found holds its
// containing folder, "\" and the name.
bool FindFileInFolderTree(const std::string& name, std::string& found);
// Starts a program or opens a document without a shell; with wait, the window is minimised
// while the program runs and restored when it ends. When nothing could be started: what failed
// and why ("NAME: cause"); "" when it started.
std::string ExecuteFile(const std::string& file, const std::string& parameters, const std::string& folder, bool wait);

// Why the file on disk cannot be opened for reading ("not found", "not a regular file", ...);
// "" when it can.
std::string FileUnreadableCause(const std::string& name);
// Reports a warning about a file: its message follows the code's text with the file's name and
// the cause (detail: "name: cause").
void FileWarning(uint32_t code, const std::string& name, const std::string& cause);
void FileWarning(uint32_t code, const std::string& detail);
// A warning for a write that did not reach the disk (a folder that cannot be written, the disk
// full, the file-size limit). A built game goes on past it, as past any warning, but says it on
// stderr ("cannot WHAT: cause", once for each; what is "write NAME" when not given), and the run
// fails at its end (WritesLost). name and cause make the warning's detail.
void WriteLostWarning(uint32_t code, const std::string& name, const std::string& cause, const std::string& what = "");
// The same without the warning, for a write lost where the command gives none (a download
// in steps, the files of a folder block after its first): said by a built game, which fails.
void SayLost(const std::string& what, const std::string& cause);
// True when a built game lost a write since ForgetLostWrites (the start of a run). A packed
// file the program deleted and did not write again is said here as a lost delete: the game
// finds its packed copy again at the next start.
bool WritesLost();
void ForgetLostWrites();

// The folder search of the program (one at a time): entries of the current folder, read
// when the search starts.
struct FolderSearch {
  bool open = false;
  std::vector<FsEntry> entries;
  size_t index = 0;
  int32_t lastResult = -1;  // 0 found, -1 no more entries
};
extern FolderSearch g_folderSearch;
void ResetFolderSearch();
// Starts a search of the current folder; false when it cannot be read (no entries then).
bool FindFirstEntry();
void FindNextEntry();
void FindCloseSearch();
// The current entry, or nullptr when no search is open or it has ended.
const FsEntry* CurrentSearchEntry();
// The drive letters that are mapped ("C:" and the like), in order.
std::vector<std::string> DriveList();
