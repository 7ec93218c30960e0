#pragma once
#include <string>
#include <vector>

#include "platform/fs.h"

// Unsaved text kept on disk once control has left the editor, so that whatever ends the
// process the text becomes a recovery file "<folder>/<name>.recovered" ("-2", "-3", ... when
// taken), named on stderr:
// - copies written whole beside their recovery names before a run: a signal handler only links
//   them to their names, without the busy main thread;
// - the run folder's work files, listed with their sources: after a kill the next start of any
//   run makes each one whose text differs from its source on disk a recovery file.
// Every such file has its source's access (FsAccess) from its first byte; one in the settings
// folder, outside the source's own, is private (0600).
//
// The main thread changes the copies, and writes recovery files, only while it holds them
// (UnsavedCopiesHold): an ending signal then waits for it (UnsavedCopiesKeep answers kBusy) and
// the holder carries the ending out once the text is whole.

// The recovery file's name for a source name: "<name>.recovered", its start shortened where
// that and a "-100" after it would not fit a file name (the extension is kept).
std::string UnsavedRecoveryName(const std::string& name);
// Writes the text as a new recovery file of name in the folder, under the first free name; its
// path, or "" when none could be written.
std::string UnsavedWriteRecovery(const std::string& folder, const std::string& name, const std::string& text,
                                 const FsAccess& access);
// Keeps the text as name's recovery file in the folder, or where that takes no file (or folder
// is "") in the settings folder, and says on stderr where it is: there, or else in stays (where
// the text is still on disk; "" for nowhere). Answers the recovery file's path, "" for none.
std::string UnsavedKeepText(const std::string& folder, const std::string& name, const std::string& text,
                            const FsAccess& access, const std::string& stays);
// Says on stderr that name's unsaved changes are kept in the file at path ("" for nowhere).
void UnsavedSayKept(const std::string& name, const std::string& path);

// Begins and ends the main thread's hold. Hold waits (never returning) when a handler is
// keeping the copies already: it ends the process. Release answers whether an ending came
// while held: the caller ends the process now, its text whole.
void UnsavedCopiesHold();
bool UnsavedCopiesRelease();

// Held: writes the text whole into a new hidden copy in the folder, to become the recovery file
// of name there, with the access given. False when it cannot be written.
bool UnsavedCopyAdd(const std::string& folder, const std::string& name, const std::string& text,
                    const FsAccess& access);
// Held: lists a file already on disk (the run folder's work file) as the only copy of name's
// text, when no copy could be written: it is named on stderr, and its run folder stays.
void UnsavedCopyAddOnlyCopy(const std::string& file, const std::string& name);
// Held: records the copies added in the run folder and hands them to the signal handlers.
void UnsavedCopiesArm();
// Held: removes the copies and their record (control is back in the editor, which holds the text).
void UnsavedCopiesDrop();
// Held: makes each armed copy a recovery file and names it; answers the names whose copy was
// linked. The others are left unsaid: the caller keeps their text otherwise.
std::vector<std::string> UnsavedCopiesKeepHeld();

// For a signal handler about to end the process (system calls only): makes each armed copy a
// recovery file and names it on stderr. kBusy: the main thread holds the copies, or another
// handler keeps them, and ends the process itself; the handler returns without ending it.
enum class UnsavedKeep { kNone, kKept, kNotAll, kBusy };
UnsavedKeep UnsavedCopiesKeep();

// A run folder's work file holding a buffer's text as the editor left it. Its first
// headerBytes bytes are the work file's own header, which sourceHeader replaces in the source.
struct UnsavedWork {
  std::string file, source;  // source: "" for a buffer without a name
  std::string folder, name;  // where its recovery goes ("" for the settings folder: none was)
  size_t headerBytes = 0;
  std::string sourceHeader;
};
// Records the work files with unsaved text in the run folder (none: removes the record).
void UnsavedWorkNote(const std::vector<UnsavedWork>& work);
// The first write of a record of the run folder (the copies' or the work files') that failed
// since the last call, with its cause; an empty path when none did. A copy whose listing failed
// is not made.
struct UnsavedRecordFailure {
  std::string path, cause;
};
UnsavedRecordFailure UnsavedTakeRecordFailure();

// The files of a run folder that hold no text: the lock its process holds while it lives, and
// the records of its copies and of its work files.
inline constexpr char kRunFolderLock[] = "owner.lock", kRunFolderCopies[] = "unsaved.rec",
                      kRunFolderWork[] = "work.rec";
// The work files of the environment's two buffers.
inline constexpr const char* kRunFolderWorkFiles[] = {"workfile.tmp", "workfil2.tmp"};

// For a run folder whose process has ended: makes the copies its record lists, and the work
// files whose text differs from their sources (and from a recovery file of theirs kept already),
// recovery files named on stderr (a work file's beside its source, or in the settings folder
// where that folder is gone). Only entries as a run writes them are followed: a copy beside its
// recovery name, a work file of this run folder, a plain file name, within the counts and sizes
// a run has. A record that does not parse whole (an empty one too), or an entry refused, is
// named on stderr with the place its text is in. False when some text could not be kept: the
// folder must stay. The run folder is the one open as the descriptor (path names it in
// messages): its records and work files are opened relative to it, never through a link.
bool UnsavedCopiesRecover(int runFolder, const std::string& path);
// The same for the run folder at the path, opened without following a link.
bool UnsavedCopiesRecover(const std::string& runFolder);
// For tests: called when a copy has been checked and is about to be linked to its recovery name.
extern void (*g_unsavedCopyChecked)(const char* copy);
// For tests: called with the recovery name a copy has just been linked to, before it is checked.
extern void (*g_unsavedCopyLinked)(const char* name);

// The lines UnsavedCopiesRecover said on stderr since the last call, without "vellumark: edit: ",
// for the environment to show; they are handed over once.
std::vector<std::string> UnsavedTakeSweepSaid();
