#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The run folders and the settings folder are declared with the rest of the path layer.
#include "platform/run_folders.h"

// The path layer: every file name the system opens passes through here. Both '\' and '/'
// separate folders, a drive letter "X:" maps to the file-system root, and each component of
// a path is matched case-insensitively against what exists (an exact match wins). Names from
// programs are text of the text code page (TextCodePage) and become UTF-8 on disk; a name on
// disk that is not UTF-8 is found by its raw bytes. A name on disk with a letter the code page
// cannot spell reads '?' there (FsToProgramName), and is found by that '?' when no other entry
// of its folder reads alike; a name that fits two or more such entries names none of them: it
// resolves to "" (every operation on it fails, nothing is made) and FsNameFitsMany() is true.
// Leading folders that spell the current folder, or a path noted by FsNoteSpelledPath, are
// that folder.
std::string FsResolve(const std::string& name);
// True when the last name resolved on this thread was refused because it fits more than one
// file; FileErrorCause then gives ENOENT as "fits more than one file".
bool FsNameFitsMany();
// Whether the last write target looked for on this thread (FsHostWriteTarget) was refused as
// another user's link in a folder others can write.
bool FsOthersLinkInTheWay();
// Whether a write to the name is refused because a folder on its path is another user's link in
// a folder others can write (FsResolveForWrite gives ""), judged again now: for the cause of a
// failed write, after other names were resolved.
bool FsWriteRefused(const std::string& name);
// Notes that a host path was given to a program spelled as programPath (FsToProgramPath does
// it): when that spelling has a '?' for a letter the code page cannot spell, a name whose
// leading folders are that spelling resolves to that path, as one whose leading folders spell
// the current folder does, even where the '?' fits other entries too. Two paths spelled alike
// are neither.
void FsNoteSpelledPath(const std::string& hostPath, const std::string& programPath);
// As FsResolve, for a file about to be created: existing folders are matched, the rest is
// kept as given (with '/' separators).
std::string FsResolveForWrite(const std::string& name);
// A program's name (code-page text) as the disk spells a new file of that name: UTF-8.
std::string FsToHostName(const std::string& programName);
// A name read from disk as text of the text code page for a program: characters outside the
// code page become '?', a name that is not UTF-8 passes byte for byte.
std::string FsToProgramName(const std::string& hostName);
// False when FsToProgramName has to put a '?' for a character of the name: a program cannot
// spell it.
bool FsProgramCanSpell(const std::string& hostName);
// Turns a host path into the system's own form with backslashes, as code-page text (for texts
// shown to programs).
std::string FsToSystemPath(const std::string& hostPath);

bool FsEqualsNoCase(const std::string& a, const std::string& b);
bool FsFileExists(const std::string& name);
bool FsFolderExists(const std::string& name);
// True when the folder exists and files can be created in it: this user may, and its owner did
// not make it read-only (its mode binds root too).
bool FsFolderWritable(const std::string& name);
bool FsDeleteFile(const std::string& name);
// Deletes the file of exactly that host path (never one whose name differs in case).
bool FsDeleteHostFile(const std::string& path);
std::string FsCurrentFolder();
bool FsChangeFolder(const std::string& name);
// Folder part of a path, without the trailing separator ("" when none).
std::string FsFolderOf(const std::string& path);

bool FsReadFile(const std::string& name, std::string& out);
// Reads a regular file without ever blocking on a pipe or a device. With cut set, at most
// maxBytes of it are read; otherwise a file of more than maxBytes is refused unread. kFailed
// sets errno (ENOMEM: the memory left cannot hold the file).
enum class FsRead { kOk, kMissing, kNotRegular, kTooLarge, kFailed };
FsRead FsReadRegularFile(const std::string& name, std::string& out, uint64_t maxBytes, bool cut);
// The same for a file of the folder open as the descriptor, never reached through a link (a
// link is kNotRegular); the name is taken as it is.
FsRead FsReadRegularFileAt(int folder, const std::string& name, std::string& out, uint64_t maxBytes);
// Opens a regular file for reading, as FsReadRegularFile checks it (never waiting on a pipe or
// a device). Null otherwise, with the reason in why (when given).
std::FILE* FsOpenRegularFile(const std::string& name, FsRead* why);
// Creates an empty file only where the name does not exist at all (not even as a dangling
// link); false otherwise.
bool FsCreateEmptyFile(const std::string& name);
// Writes a temporary file beside the target and renames it into place, so a failed save
// leaves the old file as it was. The temporary is named ".vk-<pid>-<run>-<random>.tmp" after
// the process writing it; those of processes that have ended (killed mid-save) and were
// written to ten minutes ago or earlier are removed from the folder when the next save there
// starts. A symbolic link is written through to its target; a replaced file keeps its mode
// and group (FsAccess: the temporary has it before the data goes in); a target that exists but
// is not a regular file is refused.
// False with errno set to the cause when the file could not be written.
bool FsWriteFileAtomic(const std::string& name, const std::string& data);
// As FsWriteFileAtomic, for a file that keeps the user's text: the temporary is flushed to the
// disk before it is renamed, and the folder after it, so true means the new text survives a
// power cut. A flush that fails is a failed save.
bool FsWriteFileDurable(const std::string& name, const std::string& data);
// Flushes an open file, or the entries of a folder (FsFolderOf of a path: "" is the current
// one), to the disk; false with errno set when the disk did not take them.
bool FsFlushFile(int fd);
bool FsFlushFolder(const std::string& folder);
// Who may open a file made from the content of another (a source's text): the other's
// permission bits and group. Such a file is created private (0600) and given its access before
// any byte goes in, so no one the other is closed to can ever open it; where the group cannot
// be kept, no group may read it.
struct FsAccess {
  uint32_t mode = 0600;
  int64_t group = -1;  // -1: the creator's own
};
// The read and write bits and group of an existing file; private (0600) when there is none.
FsAccess FsAccessOf(const std::string& hostPath);
// What a new file of this process gets when nothing else sets it: 0666 less the umask.
FsAccess FsNewFileAccess();
// What a new program (a file to run) gets: 0777 less the umask.
FsAccess FsNewProgramAccess();
// Gives an open file the access (see FsAccess); false when its mode cannot be set.
bool FsGiveAccess(int fd, const FsAccess& access);
// As FsWriteFileAtomic, with the access given to the file whether it is new or replaced.
bool FsWriteFileAtomicAs(const std::string& name, const std::string& data, const FsAccess& access);
// A failed file operation's cause in a few words, for the error message ("not found",
// "permission denied", "disk full", ...), from an errno value.
std::string FileErrorCause(int error);
// The cause of a failed FsReadRegularFile, in the same words: "not found", "not a regular
// file", "too large for " + kind, or "cannot be read: " and the cause of errno.
std::string FsReadCause(FsRead result, const char* kind);
// Removes the temporary an atomic write (FsWriteFileAtomic and its kin) is filling, if one is,
// with system calls only: for a signal handler that ends the process during the write.
void FsRemoveWritingTempInSignal();
// Test hook: each count makes one of the next FsWriteFileAtomic calls fail while writing its
// temporary file, as a full disk would (ENOSPC).
extern int32_t g_fsWriteFaults;
// Test hook: called once an atomic write has made its temporary, before the bytes go in.
extern void (*g_fsWritingTempMade)();
// Test hook: each count makes one of the next FsFlushFile or FsFlushFolder calls fail, as a
// disk that cannot write would (EIO); the first g_fsFlushesBeforeFaults of them still succeed.
extern int32_t g_fsFlushFaults, g_fsFlushesBeforeFaults;

// ---- Drives, file and folder operations (fs_ops.cpp)

// Drive letters map to host folders: "C:" is "/" unless set otherwise, and a letter without a
// mapping also resolves to "/"; only mapped letters count as drives in listings.
void FsSetDriveRoot(char letter, const std::string& hostFolder);  // "" removes the mapping
void FsResetDrives();
std::string FsDriveRoot(char letter);  // "" when the letter is not mapped
// A host path as the program sees it: "X:\..." through the mapped drive whose root holds it
// (the longest root wins); noted with FsNoteSpelledPath, so that the text leads back to it.
std::string FsToProgramPath(const std::string& hostPath);

// A file or folder of that name exists (links count as what they point to).
bool FsPathExists(const std::string& name);
// Size of a regular file that opens for reading; -1 otherwise.
int64_t FsFileSize(const std::string& name);
// True when the file has no owner write permission, or does not exist.
bool FsIsReadOnly(const std::string& name);
// Whether a program's write to the name lands on a regular file that is read-only: its owner may
// not write it (judged by the mode bits, which bind root too) or this user may not. No program
// write replaces or changes such a file.
bool FsReadOnlyTarget(const std::string& name);
// Why a program's write to the name failed, errno given, in the words of FileErrorCause, with a
// read-only file ("it is read-only"), a folder or another kind of file in the way and a missing
// folder ("its folder does not exist") named as such.
std::string FsProgramWriteCause(const std::string& name, int error);
// Creates an empty file; false when the name exists or the file cannot be made.
bool FsMakeFileExclusive(const std::string& name);
// Creates a new file with the data at a host path (taken as it is, not as a program's name),
// never through a link nor into an existing file: kTaken when the name exists in any form (a
// dangling link too). The data goes into a temporary beside it first, given its access,
// flushed to the disk and linked to the name once whole, and the folder is flushed after it:
// the file is whole or absent (kFailed), and kWritten survives a power cut.
enum class FsNewFile { kWritten, kTaken, kFailed };
FsNewFile FsWriteNewFile(const std::string& hostPath, const std::string& data, const FsAccess& access);
// Copies a regular file through a temporary file beside the target, which has the source's
// permission bits and group (FsAccess); false (and the target untouched) when the target exists
// or anything fails. Given access, the copy has that instead of the source's.
bool FsCopyFile(const std::string& from, const std::string& to, const FsAccess* access = nullptr);
// Renames a file or folder; never replaces an existing target. A file is copied and the
// source deleted where the target lies on another file system.
bool FsMoveFile(const std::string& from, const std::string& to);
bool FsMakeFolder(const std::string& name);
// Makes a folder and every missing folder above it; true when it exists afterwards (false with
// errno set otherwise).
bool FsMakeFolders(const std::string& name);
// The real root folder, the user's home folder and every folder that holds it, which no command
// may delete.
bool FsIsProtectedFolder(const std::string& name);
// Deletes everything inside the folder; links are removed, never followed. The folder itself
// is removed too when removeTop is set, unless it is a drive's root. False when the folder
// cannot be opened or is protected; entries that cannot be deleted are left.
bool FsDeleteTree(const std::string& name, bool removeTop);

// One entry of a folder listing; the name is code-page text (FsToProgramName).
struct FsEntry {
  std::string name;
  bool folder = false;
  int64_t size = 0;
  int64_t writeTime = 0;  // seconds since 1970
};
// The entries of a folder: "." and ".." first, then the others in order of their names
// ignoring case (in the code page, then byte for byte), the same on every machine; false when
// it cannot be read.
bool FsListFolder(const std::string& name, std::vector<FsEntry>& out);
// Regular files of a folder tree, depth first in listing order, as paths relative to the top
// joined by '/' as on disk (FsToProgramName turns them into program text); links and other
// kinds are left out. False when the top cannot be opened.
bool FsListTreeFiles(const std::string& top, std::vector<std::string>& out);

// Opens a path below the host folder top (components joined by '/') without following any
// link on the way; with create, missing folders are made and the file is made new (an
// existing one fails). Returns a file descriptor, or -1 with errno set.
int FsOpenBelow(const std::string& top, const std::string& relative, bool create);
// Deletes a file reached as FsOpenBelow reaches it.
bool FsRemoveBelow(const std::string& top, const std::string& relative);

// Removes at once the temporaries of FsWriteFileAtomic and FsWriteNewFile that writers now gone
// left in the folder (a write killed, a start killed while it wrote a recovery file there): this
// user's own, whose process id names no process and whose lock, which each writer holds on its
// temporary, no process holds. Every write into a folder does this first.
void FsRemoveEndedTemporaries(const std::string& folder);
// A new temporary file beside the file a save of target lands in, named and cleaned up as
// those of FsWriteFileAtomic, private (0600): its descriptor, or -1; tempPath receives its
// path. FsCommitTemp renames it over that file (a replaced file keeps its mode, a new one gets
// the usual; a folder or device is never replaced) or deletes it.
int FsCreateTempBeside(const std::string& target, std::string& tempPath);
bool FsCommitTemp(const std::string& tempPath, const std::string& target);

// One byte of an existing file, read or written in place (the file keeps its length).
// False when the file does not open; an offset outside the file reads 0 and writes nothing.
bool FsPeekByte(const std::string& name, int64_t offset, uint8_t* value);
bool FsPokeByte(const std::string& name, int64_t offset, uint8_t value);
