#pragma once
// Files named by the user on the tool's command line: Linux paths, opened byte for byte as
// given. Unlike a program's names (fs.h) they are never converted from a code page, have no
// drive letters, and '\' is an ordinary character of a name.
#include <cstdint>
#include <string>

#include "platform/fs.h"

// The path made absolute against the current folder; false when it is relative and there is
// no current folder (it was deleted).
bool FsHostAbsolute(const std::string& path, std::string& out);
// The file a user's path names as an input: the path itself where something has that name;
// otherwise, where each part that does not exist as written matches an entry of its folder
// ignoring case, the path of that entry (with the '/' the path ends in); otherwise the path as
// given.
std::string FsFindHostFile(const std::string& path);
// The folder part of a path, without the trailing '/' ("" when none, "/" for the root).
std::string FsHostFolderOf(const std::string& path);
// Makes the folder the current folder; false when it cannot be.
bool FsEnterHostFolder(const std::string& folder);
// Whether two paths name one file: the same path, the same device and inode, or, where neither
// is there yet, the same name in the same folder (links followed as a write follows them).
bool FsSameHostFile(const std::string& a, const std::string& b);

// As FsReadRegularFile, FsReadFile and FsWriteFileAtomic, with the path taken as it is.
FsRead FsReadHostRegularFile(const std::string& path, std::string& out, uint64_t maxBytes, bool cut);
bool FsReadHostFile(const std::string& path, std::string& out);
// Reads a file of any kind to its end (a pipe or a device too, waiting for it as it comes),
// holding no more than maxBytes: kTooLarge when there is more, kMissing, or kFailed with errno
// set (a stop request gives the read up).
FsRead FsReadHostStream(const std::string& path, std::string& out, uint64_t maxBytes);
// With access, the file written gets it, new or replaced.
bool FsWriteHostFileAtomic(const std::string& path, const std::string& data, const FsAccess* access = nullptr);
// As FsWriteHostFileAtomic, but a link at the path is replaced by the file, never written
// through: for a file the system names itself in a folder it does not choose (the debug log).
bool FsReplaceHostFile(const std::string& path, const std::string& data);
// Whether the user locked what FsReplaceHostFile would write: a read-only regular file at the path
// (a link there is replaced, so not judged), or a folder its owner made read-only. The mode binds
// root too.
bool FsReplaceHostFileLocked(const std::string& path);
// Why FsReplaceHostFile may not write the path, in the words of FileErrorCause: "it is read-only"
// where it is locked, or why this user may not make a file in the folder; "" where it may.
std::string FsReplaceHostFileRefusal(const std::string& path);
// As FsWriteFileDurable, with the path taken as it is.
bool FsWriteHostFileDurable(const std::string& path, const std::string& data);
// The file a write at the path lands in: a symbolic link is followed to its target, there or
// not, as FsWriteHostFileAtomic follows it, unless it is another user's link in a folder others
// can write; "" (errno ELOOP, said by FileErrorCause) for such a link and for a chain of links
// that never ends.
std::string FsHostWriteTarget(const std::string& path);
// Whether an output must leave the file at the path as it is: a regular file that is read-only
// (its owner may not write it, which binds root too) or that this user may not write. Every
// output the user names (a game, an image, a grab, a transcript, a saved source) keeps to it.
bool FsHostFileReadOnly(const std::string& path);
// Whether a file may be taken for a setting that makes a run write files (debug mode): reached
// through no link a write would not follow, and this user's own or its folder owner's, or in a
// folder no other user can write (a file not there: none to doubt).
bool FsHostFileTrusted(const std::string& path);
// Why a file could not be written by FsWriteHostFileAtomic, from errno, in the words of
// FileErrorCause: a missing folder and a target that is no regular file named as such.
std::string FsWriteCause(int error);
// Holds each standard stream closed at start open on /dev/null, so that its number is not
// handed to the next file opened, and notes it: FsClosedAtStart tells it for 0, 1 and 2.
void FsHoldClosedStandardStreams();
bool FsClosedAtStart(int fd);
// The open descriptor a name stands for, known by what the name opens: its links are followed
// to a name in this process's folder of descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N,
// /proc/thread-self/fd/N, a link to any of them); 1 for "-" (standard output); -1 for any
// other name.
int FsDescriptorOfName(const std::string& path);
// Writes an output file the user named: a descriptor's name is written through the descriptor
// (at its place, never cut or replaced), a device or a pipe there is written into, anything
// else as FsWriteHostFileAtomic writes it (the old file kept whole when the write fails).
// False with errno set to the cause.
bool FsWriteHostOutput(const std::string& path, const std::string& data);
