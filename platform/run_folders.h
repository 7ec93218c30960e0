#pragma once
#include <cstddef>
#include <string>

// The run folders (run_folders.cpp): the private temporary folder of each process, kept
// where no other user can move it, and swept when its process has ended; and the settings
// folder, checked as they are where there is no home.

// The private temporary folder of this process ("run-<pid>-XXXXXX"): created on first use
// with mode 0700, after removing the folders of processes that have ended, inside the user's
// state folder ($XDG_STATE_HOME/vellumark, else ~/.local/state/vellumark), which no other user
// can make first. Only where that is not the user's own (checked: a real folder of this user,
// closed to others), $TMPDIR/vellumark-<uid> takes it, and where that is refused too, $TMPDIR
// itself; stderr says so once. The folder is removed with everything in it by
// FsRemoveTempFolder (at shutdown) or by a hang-up signal. The process holds a lock on its
// folder from before the folder takes its name until it ends: a folder whose lock can be taken
// has no owner left, whatever its pid names (another pid namespace sharing the folder has other
// pids). Where no run folder can be made, the process still gets a private folder of its own
// ("vellumark-<uid>-XXXXXX", 0700, with its lock too) in $TMPDIR, else /tmp, where no other user
// can change it (said once too); a start sweeping that temporary folder sweeps it as a run
// folder. Each place is used as checked: by its path without links. "" when no folder at all
// can be made.
const std::string& FsTempFolder();
// Removes the run folders of processes that have ended, keeping the unsaved text they hold
// first, in every place a run folder can be: the state folder, $TMPDIR/vellumark-<uid>,
// /tmp/vellumark-<uid> of earlier versions, and this user's "run-" folders and private folders
// ("vellumark-<uid>-XXXXXX") in $TMPDIR and /tmp.
// Done once a process; FsTempFolder does it too.
void FsRecoverEndedRuns();
// The same in one folder. In a folder other users share (/tmp) only "run-" folders and private
// folders are looked at, and only those that prove they are a run's (its lock or a record in
// it, and nothing but the files a run writes there); in any, only folders of this user. Each is opened once, never through a link, checked on
// its descriptor and from then on used only through it: its lock, records, work files and
// removal. A folder is held (its lock taken) from before its text is kept until it is gone, so
// two starts at once keep it once.
void FsSweepRunFolders(const std::string& root, bool shared);
// Test hook: called with a swept folder's path once its descriptor is checked, before anything
// in it is used.
extern void (*g_fsRunFolderChecked)(const std::string& path);
// Test hook: called with a folder to be made once the path to it is checked, before anything of
// it is made.
extern void (*g_fsPlaceChecked)(const std::string& path);
void FsRemoveTempFolder();
// The same with system calls only, for a signal handler that ends the process.
void FsRemoveTempFolderInSignal();
// Lets go of the run folder without removing it, for the next start: it holds text that could
// not be kept elsewhere.
void FsLeaveTempFolder();
// Creates (or replaces) a file in the temporary folder without following links, truncated,
// mode 0600. Returns the full path, or "" on failure.
std::string FsCreateTempFile(const std::string& fileName, const void* data, size_t size);
// A file of the temporary folder: its path, or "" where no folder can be made (never a path in
// the root folder).
std::string FsTempFolderFile(const std::string& name);
// The per-user settings folder ($XDG_CONFIG_HOME/vellumark, else ~/.config/vellumark; without a
// home, /tmp/vellumark-<uid>), made when missing, checked and made as a place of run folders is
// (this user's own, no folder on the way another user can change, its mode kept where it was
// there); "" where that is refused, said once on stderr.
std::string FsConfigFolder();
// Whether the folder is the settings folder and its user made it read-only (its owner may not
// write it): nothing is written into it then, by root neither.
bool FsConfigFolderLocked(const std::string& folder);
// A file of the settings folder: its path, or "" where there is none.
std::string FsConfigFile(const std::string& name);
