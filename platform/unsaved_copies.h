#pragma once
#include <string>

// Copies of unsaved text kept on disk while control is away from the editor (a program runs in
// the environment's process), so that whatever ends the process the text becomes a recovery
// file "<folder>/<name>.recovered" (or "-2", "-3", ... when taken) without the busy main
// thread: a signal handler only links the copies to their names, and after a kill the next
// start of any run does it from the record in the dead process's run folder.

// Writes the text whole into a new hidden temporary in the folder, to become the recovery file
// of name there. False when it cannot be written.
bool UnsavedCopyAdd(const std::string& folder, const std::string& name, const std::string& text);
// Lists a file already on disk (the run folder's work file) as the only copy of name's text,
// when no copy could be written: it is named on stderr, and its run folder is never removed.
void UnsavedCopyAddOnlyCopy(const std::string& file, const std::string& name);
// Records the copies added in the run folder and hands them to the signal handlers.
void UnsavedCopiesArm();
// Removes the copies and their record (control is back in the editor, which holds the text).
void UnsavedCopiesDrop();
// Makes each armed copy a recovery file and names it on stderr (nothing when none is); uses
// system calls only, so a signal handler may call it. True when there were copies and every one
// was linked (a copy gone meanwhile, or the only copy where it is, counts as not kept): false
// leaves the text to be written from the editor.
bool UnsavedCopiesKeep();
// For a run folder whose process has ended: makes the copies its record lists recovery files,
// named on stderr. False when a copy it lists is still there unkept (the folder must stay).
bool UnsavedCopiesRecover(const std::string& runFolder);
