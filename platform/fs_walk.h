#pragma once
// The walk of a path a write goes to (fs_walk.cpp): from "/" or the current folder one part at a
// time, each part opened from its folder's descriptor without following a link, each link judged
// on its own descriptor and its folder's before it is followed. What the write then does (make,
// replace, rename, delete) it does relative to the last folder's descriptor: the folder judged is
// the folder written, whatever is renamed or linked in place of a folder on its path meanwhile.
#include <string>

// The folder a write lands in, open (O_PATH) as fd, and the name of the entry in it.
struct FsWriteFolder {
  int fd = -1;
  std::string leaf;    // "." for "/" and a path ending in "."; a path's '/' at its end is kept
  std::string folder;  // its path as walked, without a link: for judgements and temporaries' names
  FsWriteFolder() = default;
  FsWriteFolder(const FsWriteFolder&) = delete;
  FsWriteFolder& operator=(const FsWriteFolder&) = delete;
  ~FsWriteFolder();
  // The folder as a path to join a name to ("" for the current folder's relative walk).
  std::string Join(const std::string& name) const;
};

// Walks a host path for a write. Each link on the way, and the last part's too with followLast,
// is followed unless it is another user's link in a folder others can write
// (PlaceEntryTrustedIn): then false with errno ELOOP and FsOthersLinkInTheWay() true. With
// makeFolders, a folder missing on the way is made (0777 less the umask) from its parent's
// descriptor. False with errno set where a folder on the way is missing or is no folder, or a
// chain of links never ends.
bool FsWalkForWrite(const std::string& path, bool followLast, FsWriteFolder& out, bool makeFolders = false);

// As the system calls of their names, for a program's name resolved for a write
// (FsResolveForWrite), relative to the folder the walk ends in; the last part is never followed.
int FsOpenForWrite(const std::string& name, int flags, unsigned mode);
bool FsUnlinkForWrite(const std::string& name, int flags);
bool FsMakeFolderForWrite(const std::string& name);

// FsCreateTempBeside, in the folder a walk reached: the temporary's descriptor, or -1.
int FsCreateTempIn(const FsWriteFolder& at, std::string& tempPath);

// Notes on this thread whether a write target was refused as another user's link.
void FsNoteOthersLink(bool refused);

// Test hook: called with the path once a walk for a write has judged it, before the write.
extern void (*g_fsWriteWalked)(const std::string& path);
